#include <gtest/gtest.h>

#include <filesystem>

#include "archive_builder.h"
#include "errors.h"
#include "folder.h"
#include "repack_job.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::bytesOf;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// `text` zero-filled to `width` bytes, as name fields and the magic are stored.
Bytes field(std::string_view text, std::size_t width) {
    Bytes bytes = bytesOf(text);
    bytes.resize(width, 0);
    return bytes;
}

const Bytes kMagicBytes = bytesOf("ZRK.DAT 1.00");

class RepackJob : public ::testing::Test {
protected:
    fs::path newArchive() const { return work_.path() / "ZRK.NEW"; }
    void run() { runRepack(window_, work_.workDir()); }

    test::WorkFolder work_;
    test::RecordingWindow window_;
};

TEST_F(RepackJob, WritesTwoEntriesByteForByteAndLogsEachStep) {
    Bytes a = test::patternBytes(100, 1);
    Bytes b = test::patternBytes(50, 2);
    work_.writeEntry("A.PCM", a);
    work_.writeEntry("B.BIN", b);
    work_.writeManifest("A.PCM,100\r\nB.BIN,96\r\n");
    test::writeFileText(work_.path() / "ZRK.DAT", "left alone");
    test::writeFileBytes(newArchive(), Bytes(1000, 0xAA));

    run();

    Bytes expected = kMagicBytes + Bytes{1, 0, 0, 0} +  //
                     field("A.PCM", 19) + Bytes{0, 100, 0, 0, 0, 100, 0, 0, 0, 81, 0, 0, 0} +
                     field("B.BIN", 19) + Bytes{1, 50, 0, 0, 0, 96, 0, 0, 0, 181, 0, 0, 0} + a + b;
    ASSERT_EQ(expected.size(), 230u);
    EXPECT_EQ(test::readFileBytes(newArchive()), expected);
    EXPECT_EQ(test::readFileText(work_.path() / "ZRK.DAT"), "left alone");
    EXPECT_EQ(window_.lines, test::repackLog({"A.PCM", "B.BIN"}));
    EXPECT_EQ(window_.eventRounds, 4);
}

TEST_F(RepackJob, OneEntryOf10BytesMakesA58ByteArchive) {
    work_.writeEntry("ONE.BIN", bytesOf("0123456789"));
    work_.writeManifest("ONE.BIN,7");
    run();
    Bytes expected = kMagicBytes + Bytes{0, 0, 0, 0} + field("ONE.BIN", 19) +
                     Bytes{1, 10, 0, 0, 0, 7, 0, 0, 0, 49, 0, 0, 0} + bytesOf("0123456789");
    EXPECT_EQ(test::readFileBytes(newArchive()), expected);
    EXPECT_EQ(window_.eventRounds, 2);
}

TEST_F(RepackJob, EntriesOfEverySizeComeOutInLayoutOrder) {
    // Small entries are gathered into batches of 1 MiB, longer ones copied
    // file to file; the sizes go around both limits and across batches; empty
    // files are copied as nothing and keep the layout.
    std::vector<std::size_t> sizes = {1, 65536, 65537, 0, 0};
    sizes.insert(sizes.end(), 18, 60000);
    sizes.insert(sizes.end(), {1, 300000, 7, 1048576, 65535, 0});
    test::ArchiveBuilder expected;
    std::string manifest;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::string name = std::to_string(i) + (i % 2 == 0 ? ".PCM" : ".BIN");
        Bytes data = test::patternBytes(sizes[i], static_cast<std::uint32_t>(i));
        work_.writeEntry(name, data);
        auto declared = static_cast<std::int32_t>(i);  // PCM entries take their length
        expected.add(name, data, {}, i % 2 == 0 ? std::optional<std::int32_t>{} : declared);
        manifest.append(name + "," + std::to_string(i) + "\r\n");
    }
    work_.writeManifest(manifest);
    run();
    EXPECT_EQ(test::readFileBytes(newArchive()), expected.build());
    EXPECT_EQ(window_.lines.back(), "Done!");
    EXPECT_EQ(window_.eventRounds, static_cast<int>(2 * sizes.size()));
}

TEST_F(RepackJob, NamesAreStoredAsTheManifestSpellsThem) {
    work_.writeEntry("SOUNDS/A_LONG_NAME_OF_A_TONE.PCM", bytesOf("t"));
    work_.writeEntry("A/0B.BIN", bytesOf("e"));
    work_.writeEntry("\xe9.BIN", bytesOf("h"));
    work_.writeManifest("SOUNDS\\A_LONG_NAME_OF_A_TONE.PCM,0\r\nA\\0B.BIN,1\r\n\xe9.BIN,1\r\n");
    run();
    Bytes archive = test::readFileBytes(newArchive());
    auto record = [&](std::size_t k) {
        return Bytes(archive.begin() + 16 + 32 * (k - 1), archive.begin() + 16 + 32 * (k - 1) + 20);
    };
    // Cut to 19 bytes, yet of the PCM kind that its whole name gives.
    EXPECT_EQ(record(1), bytesOf("SOUNDS\\A_LONG_NAME_") + Bytes{0});
    EXPECT_EQ(record(2), field("A\\0B.BIN", 19) + Bytes{1});
    EXPECT_EQ(record(3), field("\xe9.BIN", 19) + Bytes{1});
    EXPECT_EQ(window_.lines,
              test::repackLog({"SOUNDS\\A_LONG_NAME_OF_A_TONE.PCM", "A\\0B.BIN", "\xe9.BIN"}));
    EXPECT_EQ(bytesOf("teh"), Bytes(archive.end() - 3, archive.end()));
}

TEST_F(RepackJob, WithoutAManifestOnlyTheOldNewArchiveGoes) {
    work_.writeEntry("A.BIN", bytesOf("a"));
    test::writeFileText(work_.path() / "ZRK.DAT", "left alone");
    auto before = test::snapshotTree(work_.parent());
    test::writeFileText(newArchive(), "old");
    run();
    EXPECT_EQ(window_.lines, std::vector<std::string>{"Manifest file not found!"});
    EXPECT_EQ(test::snapshotTree(work_.parent()), before);

    fs::create_directories(work_.output() / "manifest.txt");  // a folder is no manifest
    window_.lines.clear();
    run();
    EXPECT_EQ(window_.lines, std::vector<std::string>{"Manifest file not found!"});
    EXPECT_FALSE(fs::exists(newArchive()));
}

TEST_F(RepackJob, AFileThatShrankAfterMeasuringEndsTheRunNamingIt) {
    Bytes a = test::patternBytes(100, 1);
    Bytes b = test::patternBytes(50, 2);
    work_.writeEntry("A.PCM", a);
    work_.writeEntry("B.BIN", b);
    work_.writeManifest("A.PCM,100\r\nB.BIN,96\r\n");
    window_.onLog = [&](std::string_view message) {
        if (message == "Repacking B.BIN...") {
            fs::resize_file(work_.output() / "B.BIN", 20);
        }
    };
    try {
        run();
        FAIL() << "no error";
    } catch (const ToolError& error) {
        std::string message = error.what();
        EXPECT_NE(message.find(test::entryPath(work_.workDir(), "B.BIN") + " is now 20 bytes"),
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
    EXPECT_EQ(window_.lines.back(), "Repacking B.BIN...");
}

TEST_F(RepackJob, AFileThatGrewAfterMeasuringIsCopiedToItsMeasuredLength) {
    work_.writeEntry("A.PCM", bytesOf("abcd"));
    work_.writeEntry("B.BIN", bytesOf("ef"));
    work_.writeManifest("A.PCM,0\r\nB.BIN,2\r\n");
    window_.onLog = [&](std::string_view message) {
        if (message == "Writing metadata...") {
            work_.writeEntry("A.PCM", bytesOf("abcdLATER"));
        }
    };
    run();
    Bytes expected =
        test::ArchiveBuilder().add("A.PCM", bytesOf("abcd")).add("B.BIN", bytesOf("ef")).build();
    EXPECT_EQ(test::readFileBytes(newArchive()), expected);
}

}  // namespace
}  // namespace zrk
