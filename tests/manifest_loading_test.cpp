#include <gtest/gtest.h>

#include <filesystem>

#include "errors.h"
#include "file_system.h"
#include "manifest_loading.h"
#include "test_support.h"
#include "work_files.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

// A work folder with an Output folder, its manifest and its entry files.
class ManifestLoading : public ::testing::Test {
protected:
    // `relative` is in the archive's code page, as the manifest holds it.
    void addFile(const std::string& relative, std::size_t length) {
        test::writeNativeFile(entryPath(temp.workDir(), relative), test::patternBytes(length, 7));
    }
    // A sparse file: long, yet without taking disk space.
    void addSparseFile(const std::string& relative, std::uintmax_t length) {
        addFile(relative, 0);
        fs::resize_file(output() / relative, length);
    }
    void writeManifest(std::string_view text) {
        test::writeFileText(output() / "manifest.txt", text);
    }
    fs::path output() const { return temp.path() / "Output"; }

    std::vector<ArchiveEntry> load() { return loadManifest(window, temp.workDir()); }

    // The message of the error that loading raises; fails the test without one.
    std::string loadError() {
        try {
            load();
        } catch (const ToolError& error) {
            return error.what();
        }
        ADD_FAILURE() << "no error";
        return {};
    }

    test::TempFolder temp;
    test::RecordingWindow window;
};

std::int64_t archiveLength(const std::vector<ArchiveEntry>& entries) {
    return entries.back().dataOffset + std::int64_t{entries.back().dataLength} - 1;
}

TEST_F(ManifestLoading, TwoFilesOf100And50BytesLieAt81And181) {
    addFile("A.PCM", 100);
    addFile("B.BIN", 50);
    writeManifest("A.PCM,100\r\nB.BIN,96\r\n");
    std::vector<ArchiveEntry> expected = {{"A.PCM", KindPcm, 100, 100, 81},
                                          {"B.BIN", KindOther, 50, 96, 181}};
    auto entries = load();
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(archiveLength(entries), 230);
    EXPECT_EQ(window.lines, std::vector<std::string>{"Reading metadata from manifest..."});
}

TEST_F(ManifestLoading, OneFileOf10BytesLiesAt49) {
    addFile("A.BIN", 10);
    writeManifest("A.BIN,10\r\n");
    auto entries = load();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].dataOffset, 49);
    EXPECT_EQ(archiveLength(entries), 58);
}

TEST_F(ManifestLoading, EmptyLinesNeitherAddEntriesNorShiftTheLayout) {
    addFile("A.BIN", 3);
    addFile("B.BIN", 5);
    writeManifest("A.BIN,1\r\nB.BIN,2\r\n");
    auto plain = load();
    writeManifest("\r\n\r\nA.BIN,1\r\n\r\n\nB.BIN,2\r\n\r\n");
    EXPECT_EQ(load(), plain);
    EXPECT_EQ(plain[1].dataOffset, 17 + 64 + 3);
}

TEST_F(ManifestLoading, KindComesFromTheLastThreeLettersInAnyCase) {
    struct Case {
        std::string line, name;
        std::uint8_t kind;
        std::int32_t declared;  // the file holds 7 bytes
    };
    const Case cases[] = {
        {"A.PCM,520", "A.PCM", KindPcm, 7},
        {"a.pcm,ignored", "a.pcm", KindPcm, 7},
        {"B.Pcm,", "B.Pcm", KindPcm, 7},
        {"TONEpCm,-3", "TONEpCm", KindPcm, 7},
        {"pcm,x", "pcm", KindPcm, 7},
        {"  C.PCM  ,  ignored", "C.PCM", KindPcm, 7},
        {"A.PCMX,9", "A.PCMX", KindOther, 9},
        {"PCM.BIN,0", "PCM.BIN", KindOther, 0},
        {"CM,4", "CM", KindOther, 4},
        {"A.PC,5", "A.PC", KindOther, 5},
        {"A.P\xc7M,6", "A.P\xc7M", KindOther, 6},
    };
    for (const auto& c : cases) {
        addFile(c.name, 7);
        writeManifest(c.line + "\r\n");
        auto entries = load();
        ASSERT_EQ(entries.size(), 1u) << c.line;
        EXPECT_EQ(entries[0].name, c.name) << c.line;
        EXPECT_EQ(entries[0].kind, c.kind) << c.line;
        EXPECT_EQ(entries[0].dataLength, 7) << c.line;
        EXPECT_EQ(entries[0].declaredLength, c.declared) << c.line;
    }
}

TEST_F(ManifestLoading, OtherEntriesKeepTheManifestNumberWhenTheFileChanged) {
    addFile("A.PCM", 1000);
    addFile("B.BIN", 200);
    writeManifest("A.PCM,520\r\nB.BIN,96\r\n");
    auto entries = load();
    EXPECT_EQ(entries[0].declaredLength, 1000);
    EXPECT_EQ(entries[1].dataLength, 200);
    EXPECT_EQ(entries[1].declaredLength, 96);
}

TEST_F(ManifestLoading, ALongNameIsKeptWholeAndDecidesTheKind) {
    std::string name = "SOUNDS\\A_LONG_NAME_OF_A_TONE.PCM";
    addFile("SOUNDS/A_LONG_NAME_OF_A_TONE.PCM", 4);
    writeManifest(name + ",0\r\n");
    auto entries = load();
    EXPECT_EQ(entries[0].name, name);
    EXPECT_EQ(entries[0].kind, KindPcm);
    EXPECT_EQ(entries[0].dataLength, 4);
}

TEST_F(ManifestLoading, ReadsSubfoldersAndHighBytesInTheManifestOrder) {
    addFile("SUB/DEEP/C.BIN", 2);
    addFile("\xe9T\xc9.BIN", 4);
    addFile("A.BIN", 1);
    writeManifest("SUB\\DEEP\\C.BIN,2\n\xe9T\xc9.BIN,4\nA.BIN,1");
    auto entries = load();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "SUB\\DEEP\\C.BIN");
    EXPECT_EQ(entries[1].name, "\xe9T\xc9.BIN");
    EXPECT_EQ(entries[1].dataLength, 4);
    EXPECT_EQ(entries[2].dataOffset, 17 + 96 + 2 + 4);
}

TEST_F(ManifestLoading, EveryFaultIsRefusedNamingTheLine) {
    struct Case {
        std::string manifest;
        std::vector<std::string> shown;  // parts of the message
    };
    const Case cases[] = {
        {"A.BIN,1\r\nB.BIN\r\n", {"line 2", "comma", "B.BIN"}},
        {"A.PCM\r\n", {"line 1", "comma", "A.PCM"}},
        {"A.BIN,1\r\n\r\nGONE.BIN,1\r\n",
         {"line 3", "missing", nativeChildPath("", "Output\\GONE.BIN")}},
        {"SUB,1\r\n", {"line 1", "folder", nativeChildPath("", "Output\\SUB")}},
        {" ,1\r\n", {"line 1", "empty"}},
        {std::string("A.BIN\0B,1\r\n", 11), {"line 1", "zero byte"}},
        {"A.BIN,x1\r\n", {"line 1", "A.BIN", "x1", "not a whole number"}},
        {"A.BIN,2147483648\r\n", {"line 1", "A.BIN", "2147483648"}},
        {"A.BIN,1\r\nB.BIN,-1\r\n", {"line 2", "B.BIN", "-1", "negative"}},
        {"..\\OUT.BIN,1\r\n",
         {"line 1", "..\\OUT.BIN", "cannot stand for a file inside the Output folder"}},
        {"SUB\\..\\..\\OUT.BIN,1\r\n", {"line 1", "cannot stand for a file"}},
        {"SUB/../../OUT.BIN,1\r\n", {"line 1", "cannot stand for a file"}},
        {"SUB\\.. \\..\\OUT.BIN,1\r\n", {"line 1", "cannot stand for a file"}},
        {"", {"manifest.txt has no entries", nativeChildPath("", "Output\\manifest.txt")}},
        {"\r\n\n\r\n", {"manifest.txt has no entries"}},
    };
    addFile("A.BIN", 1);
    addFile("A.PCM", 1);
    addFile("B.BIN", 1);
    addFile("SUB/X.BIN", 1);
    test::writeFileText(temp.path() / "OUT.BIN", "outside");
    for (const auto& c : cases) {
        writeManifest(c.manifest);
        window.lines.clear();
        std::string message = loadError();
        for (const auto& part : c.shown) {
            EXPECT_NE(message.find(part), std::string::npos) << c.manifest << " gave " << message;
        }
        EXPECT_EQ(window.lines, std::vector<std::string>{"Reading metadata from manifest..."});
    }
}

TEST_F(ManifestLoading, NamesWithDotsThatStayInsideAreAccepted) {
    addFile("SUB/..X.BIN", 1);
    addFile("SUB/X.BIN", 2);
    writeManifest("SUB\\..X.BIN,1\r\nSUB\\.\\X.BIN,2\r\n");
    auto entries = load();
    EXPECT_EQ(entries[0].dataLength, 1);
    EXPECT_EQ(entries[1].dataLength, 2);
}

TEST_F(ManifestLoading, TheLongestArchiveIsOneBytePastTheLargestField) {
    const std::uintmax_t largestData = 2147483647 - 49;  // after one record
    addSparseFile("BIG.BIN", largestData);
    writeManifest("BIG.BIN,0\r\n");
    auto entries = load();
    EXPECT_EQ(entries[0].dataOffset, 49);
    EXPECT_EQ(archiveLength(entries), 2147483646);

    addSparseFile("BIG.BIN", largestData + 1);
    std::string message = loadError();
    EXPECT_NE(message.find("line 1"), std::string::npos) << message;
    EXPECT_NE(message.find("2147483647 bytes long"), std::string::npos) << message;
}

TEST_F(ManifestLoading, TheLineThatMakesTheArchiveTooLongIsNamed) {
    addSparseFile("HALF.BIN", (1u << 30) - 100);
    writeManifest("HALF.BIN,0\r\nHALF.BIN,0\r\n");
    EXPECT_EQ(load().size(), 2u);
    writeManifest("HALF.BIN,0\r\nHALF.BIN,0\r\n\r\nHALF.BIN,0\r\n");
    EXPECT_NE(loadError().find("line 4"), std::string::npos);

    addSparseFile("HUGE.BIN", std::uintmax_t{1} << 31);
    writeManifest("HUGE.BIN,0\r\n");
    std::string message = loadError();
    EXPECT_NE(message.find("line 1"), std::string::npos) << message;
    EXPECT_NE(message.find(nativeChildPath("", "Output\\HUGE.BIN") + " is 2147483648 bytes long"),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace zrk
