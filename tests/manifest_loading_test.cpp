// Layout planning from the manifest. The exact bytes that the plans give are
// checked by the Repack job tests, and each manifest fault by the bad-input
// table.
#include <gtest/gtest.h>

#include <filesystem>

#include "errors.h"
#include "folder.h"
#include "manifest_loading.h"
#include "native_path.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

class ManifestLoading : public ::testing::Test {
protected:
    void addFile(const std::string& name, std::size_t length) {
        work_.writeEntry(name, test::patternBytes(length, 7));
    }
    // A sparse file: long, yet without taking disk space.
    void addSparseFile(const std::string& name, std::uintmax_t length) {
        addFile(name, 0);
        fs::resize_file(work_.output() / name, length);
    }

    std::vector<ArchiveEntry> load() { return loadManifest(Folder::open(work_.output().string())); }

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

    test::WorkFolder work_;
};

std::int64_t archiveLength(const std::vector<ArchiveEntry>& entries) {
    return entries.back().dataOffset + std::int64_t{entries.back().dataLength} - 1;
}

TEST_F(ManifestLoading, EmptyLinesNeitherAddEntriesNorShiftTheLayout) {
    addFile("A.BIN", 3);
    addFile("B.BIN", 5);
    work_.writeManifest("A.BIN,1\r\nB.BIN,2\r\n");
    auto plain = load();
    // Also with LF-only line ends and no end after the last line.
    work_.writeManifest("\r\n\r\nA.BIN,1\r\n\r\n\nB.BIN,2");
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
        {"A.PCM,520", "A.PCM", kKindPcm, 7},
        {"a.pcm,ignored", "a.pcm", kKindPcm, 7},
        {"B.Pcm,", "B.Pcm", kKindPcm, 7},
        {"TONEpCm,-3", "TONEpCm", kKindPcm, 7},
        {"pcm,x", "pcm", kKindPcm, 7},
        {"  C.PCM  ,  ignored", "C.PCM", kKindPcm, 7},
        {"A.PCMX,9", "A.PCMX", kKindOther, 9},
        {"PCM.BIN,0", "PCM.BIN", kKindOther, 0},
        {"CM,4", "CM", kKindOther, 4},
        {"A.PC,5", "A.PC", kKindOther, 5},
        {"A.P\xc7M,6", "A.P\xc7M", kKindOther, 6},
    };
    for (const auto& c : cases) {
        addFile(c.name, 7);
        work_.writeManifest(c.line + "\r\n");
        std::vector<ArchiveEntry> expected = {{c.name, c.kind, 7, c.declared, 49}};
        EXPECT_EQ(load(), expected) << c.line;
    }
}

TEST_F(ManifestLoading, OtherEntriesKeepTheManifestNumberWhenTheFileChanged) {
    addFile("A.PCM", 1000);
    addFile("B.BIN", 200);
    work_.writeManifest("A.PCM,520\r\nB.BIN,96\r\n");
    std::vector<ArchiveEntry> expected = {{"A.PCM", kKindPcm, 1000, 1000, 81},
                                          {"B.BIN", kKindOther, 200, 96, 1081}};
    EXPECT_EQ(load(), expected);
}

TEST_F(ManifestLoading, NamesWithDotsThatStayInsideAreAccepted) {
    addFile("SUB/..X.BIN", 1);
    addFile("SUB/X.BIN", 2);
    work_.writeManifest("SUB\\..X.BIN,1\r\nSUB\\.\\X.BIN,2\r\n");
    auto entries = load();
    EXPECT_EQ(entries[0].dataLength, 1);
    EXPECT_EQ(entries[1].dataLength, 2);
}

TEST_F(ManifestLoading, TheLongestArchiveIsOneBytePastTheLargestField) {
    const std::uintmax_t largestData = 2147483647 - 49;  // after one record
    addSparseFile("BIG.BIN", largestData);
    work_.writeManifest("BIG.BIN,0\r\n");
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
    work_.writeManifest("HALF.BIN,0\r\nHALF.BIN,0\r\n");
    EXPECT_EQ(load().size(), 2u);
    work_.writeManifest("HALF.BIN,0\r\nHALF.BIN,0\r\n\r\nHALF.BIN,0\r\n");
    EXPECT_NE(loadError().find("line 4"), std::string::npos);

    addSparseFile("HUGE.BIN", std::uintmax_t{1} << 31);
    work_.writeManifest("HUGE.BIN,0\r\n");
    std::string message = loadError();
    EXPECT_NE(message.find("line 1"), std::string::npos) << message;
    EXPECT_NE(message.find(nativeRelativePath("Output\\HUGE.BIN") + " is 2147483648 bytes long"),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace zrk
