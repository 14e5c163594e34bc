#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "archive_builder.h"
#include "errors.h"
#include "file_system.h"
#include "repack_job.h"
#include "test_support.h"
#include "work_files.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// `text` zero-filled to `width` bytes, as name fields and the magic are stored.
Bytes field(std::string_view text, std::size_t width) {
    Bytes bytes = test::bytesOf(text);
    bytes.resize(width, 0);
    return bytes;
}

const Bytes kMagicBytes = test::bytesOf("ZRK.DAT 1.00");

// Records what is logged and lets a test change files at a given log line.
class HookWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override {
        lines.emplace_back(message);
        if (onLog) {
            onLog(message);
        }
    }
    void processEvents() override { ++eventRounds; }

    std::function<void(std::string_view)> onLog;
    std::vector<std::string> lines;
    int eventRounds = 0;
};

class RepackJob : public ::testing::Test {
protected:
    // `relative` is in the archive's code page, as the manifest holds it.
    void addFile(const std::string& relative, const Bytes& bytes) {
        test::writeNativeFile(entryPath(temp.workDir(), relative), bytes);
    }
    void writeManifest(std::string_view text) {
        test::writeFileText(output() / "manifest.txt", text);
    }
    fs::path output() const { return temp.path() / "Output"; }
    fs::path newArchive() const { return temp.path() / "ZRK.NEW"; }

    void run() { runRepack(window, temp.workDir()); }

    test::TempFolder temp;
    HookWindow window;
};

TEST_F(RepackJob, WritesTwoEntriesByteForByteAndLogsEachStep) {
    Bytes a = test::patternBytes(100, 1);
    Bytes b = test::patternBytes(50, 2);
    addFile("A.PCM", a);
    addFile("B.BIN", b);
    writeManifest("A.PCM,100\r\nB.BIN,96\r\n");
    test::writeFileText(temp.path() / "ZRK.DAT", "left alone");
    test::writeFileBytes(newArchive(), Bytes(1000, 0xAA));

    run();

    Bytes expected = kMagicBytes + Bytes{1, 0, 0, 0} +  //
                     field("A.PCM", 19) + Bytes{0, 100, 0, 0, 0, 100, 0, 0, 0, 81, 0, 0, 0} +
                     field("B.BIN", 19) + Bytes{1, 50, 0, 0, 0, 96, 0, 0, 0, 181, 0, 0, 0} + a + b;
    ASSERT_EQ(expected.size(), 230u);
    EXPECT_EQ(test::readFileBytes(newArchive()), expected);
    EXPECT_EQ(test::readFileText(temp.path() / "ZRK.DAT"), "left alone");
    EXPECT_EQ(window.lines,
              (std::vector<std::string>{"Reading metadata from manifest...", "Writing metadata...",
                                        "Repacking A.PCM...", "Repacking B.BIN...", "Done!"}));
    EXPECT_EQ(window.eventRounds, 4);
}

TEST_F(RepackJob, OneEntryOf10BytesMakesA58ByteArchive) {
    addFile("ONE.BIN", test::bytesOf("0123456789"));
    writeManifest("ONE.BIN,7");
    run();
    Bytes expected = {'Z', 'R', 'K', '.', 'D', 'A', 'T', ' ', '1', '.', '0', '0', 0,  0, 0,
                      0,   'O', 'N', 'E', '.', 'B', 'I', 'N', 0,   0,   0,   0,   0,  0, 0,
                      0,   0,   0,   0,   0,   1,   10,  0,   0,   0,   7,   0,   0,  0, 49,
                      0,   0,   0,   '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(test::readFileBytes(newArchive()), expected);
    EXPECT_EQ(window.eventRounds, 2);
}

TEST_F(RepackJob, EntriesOfEverySizeComeOutInLayoutOrder) {
    // Small entries are gathered into batches of 1 MiB, longer ones copied
    // file to file; the sizes go around both limits and across batches.
    const std::size_t sizes[] = {1,     65536, 65537, 0,     60000, 60000,  60000, 60000,   60000,
                                 60000, 60000, 60000, 60000, 60000, 60000,  60000, 60000,   60000,
                                 60000, 60000, 60000, 60000, 1,     300000, 7,     1048576, 65535};
    test::ArchiveBuilder expected;
    std::string manifest;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        std::string name = std::to_string(i);
        name.append(".PCM");
        Bytes data = test::patternBytes(sizes[i], static_cast<std::uint32_t>(i));
        addFile(name, data);
        expected.add(name, data);
        manifest.append(name).append(",\r\n");
    }
    writeManifest(manifest);
    run();
    EXPECT_EQ(test::readFileBytes(newArchive()), expected.build());
}

TEST_F(RepackJob, EmptyFilesAreCopiedAsNothingAndKeepTheLayout) {
    addFile("E1.BIN", {});
    addFile("A.BIN", test::bytesOf("xyz"));
    addFile("E2.PCM", {});
    writeManifest("E1.BIN,5\r\nA.BIN,3\r\nE2.PCM,9\r\n");
    run();
    Bytes expected = kMagicBytes + Bytes{2, 0, 0, 0} +  //
                     field("E1.BIN", 19) + Bytes{1, 0, 0, 0, 0, 5, 0, 0, 0, 113, 0, 0, 0} +
                     field("A.BIN", 19) + Bytes{1, 3, 0, 0, 0, 3, 0, 0, 0, 113, 0, 0, 0} +
                     field("E2.PCM", 19) + Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 116, 0, 0, 0} +
                     test::bytesOf("xyz");
    EXPECT_EQ(test::readFileBytes(newArchive()), expected);
    EXPECT_EQ(window.lines.size(), 6u);
    EXPECT_EQ(window.lines.back(), "Done!");
    EXPECT_EQ(window.eventRounds, 6);
}

TEST_F(RepackJob, NamesAreStoredAsTheManifestSpellsThem) {
    addFile("SOUNDS/A_LONG_NAME_OF_A_TONE.PCM", test::bytesOf("t"));
    addFile("A/0B.BIN", test::bytesOf("e"));
    addFile("\xe9.BIN", test::bytesOf("h"));
    writeManifest("SOUNDS\\A_LONG_NAME_OF_A_TONE.PCM,0\r\nA\\0B.BIN,1\r\n\xe9.BIN,1\r\n");
    run();
    Bytes archive = test::readFileBytes(newArchive());
    auto record = [&](std::size_t k) {
        return Bytes(archive.begin() + 16 + 32 * (k - 1), archive.begin() + 16 + 32 * (k - 1) + 20);
    };
    // Cut to 19 bytes, yet of the PCM kind that its whole name gives.
    EXPECT_EQ(record(1), test::bytesOf("SOUNDS\\A_LONG_NAME_") + Bytes{0});
    EXPECT_EQ(record(2), field("A\\0B.BIN", 19) + Bytes{1});
    EXPECT_EQ(record(3), field("\xe9.BIN", 19) + Bytes{1});
    EXPECT_EQ(window.lines.at(2), "Repacking SOUNDS\\A_LONG_NAME_OF_A_TONE.PCM...");
    EXPECT_EQ(window.lines.at(4), "Repacking \xe9.BIN...");
    EXPECT_EQ(test::bytesOf("teh"), Bytes(archive.end() - 3, archive.end()));
}

TEST_F(RepackJob, WithoutAManifestOnlyTheOldNewArchiveGoes) {
    addFile("A.BIN", test::bytesOf("a"));
    test::writeFileText(temp.path() / "ZRK.DAT", "left alone");
    auto before = test::snapshotTree(temp.path());
    test::writeFileText(newArchive(), "old");
    run();
    EXPECT_EQ(window.lines, std::vector<std::string>{"Manifest file not found!"});
    EXPECT_EQ(test::snapshotTree(temp.path()), before);

    fs::create_directories(output() / "manifest.txt");  // a folder is no manifest
    window.lines.clear();
    run();
    EXPECT_EQ(window.lines, std::vector<std::string>{"Manifest file not found!"});
    EXPECT_FALSE(fs::exists(newArchive()));
}

TEST_F(RepackJob, AFileThatShrankAfterMeasuringEndsTheRunNamingIt) {
    Bytes a = test::patternBytes(100, 1);
    Bytes b = test::patternBytes(50, 2);
    addFile("A.PCM", a);
    addFile("B.BIN", b);
    writeManifest("A.PCM,100\r\nB.BIN,96\r\n");
    window.onLog = [&](std::string_view message) {
        if (message == "Repacking B.BIN...") {
            fs::resize_file(output() / "B.BIN", 20);
        }
    };
    try {
        run();
        FAIL() << "no error";
    } catch (const ToolError& error) {
        std::string message = error.what();
        EXPECT_NE(
            message.find(nativeChildPath(temp.workDir(), "Output\\B.BIN") + " is now 20 bytes"),
            std::string::npos)
            << message;
        EXPECT_NE(message.find("50 bytes"), std::string::npos) << message;
    }
    // Header, directory, the first entry's data and what is left of B are
    // there; nothing stands for the bytes B lost.
    Bytes archive = test::readFileBytes(newArchive());
    ASSERT_EQ(archive.size(), 200u);
    EXPECT_EQ(Bytes(archive.begin() + 80, archive.begin() + 180), a);
    EXPECT_EQ(Bytes(archive.begin() + 180, archive.end()), Bytes(b.begin(), b.begin() + 20));
    EXPECT_EQ(window.lines.back(), "Repacking B.BIN...");
}

TEST_F(RepackJob, AFileThatGrewAfterMeasuringIsCopiedToItsMeasuredLength) {
    addFile("A.PCM", test::bytesOf("abcd"));
    addFile("B.BIN", test::bytesOf("ef"));
    writeManifest("A.PCM,0\r\nB.BIN,2\r\n");
    window.onLog = [&](std::string_view message) {
        if (message == "Writing metadata...") {
            addFile("A.PCM", test::bytesOf("abcdLATER"));
        }
    };
    run();
    Bytes archive = test::readFileBytes(newArchive());
    ASSERT_EQ(archive.size(), 16u + 64 + 6);
    EXPECT_EQ(Bytes(archive.begin() + 36, archive.begin() + 48),
              (Bytes{4, 0, 0, 0, 4, 0, 0, 0, 81, 0, 0, 0}));
    EXPECT_EQ(Bytes(archive.begin() + 80, archive.end()), test::bytesOf("abcdef"));
}

}  // namespace
}  // namespace zrk
