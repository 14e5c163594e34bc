#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive_builder.h"
#include "archive_directory.h"
#include "errors.h"
#include "test_support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::Bytes;
using test::bytesOf;

// Windows lets only some users make symbolic links, and Wine none at all.
bool systemMakesLinks(const fs::path& folder) {
    std::error_code error;
    fs::create_symlink(folder / "probe-target", folder / "probe-link", error);
    std::error_code ignored;
    fs::remove(folder / "probe-link", ignored);
    return !error;
}

class UnpackJob : public ::testing::Test {
protected:
    void writeArchive(const Bytes& bytes) const {
        test::writeFileBytes(work_.path() / "ZRK.DAT", bytes);
    }
    void run() { runUnpack(window_, work_.workDir()); }
    // Everything in and beside the work folder.
    auto snapshot() const { return test::snapshotTree(work_.parent()); }

    test::WorkFolder work_;
    test::RecordingWindow window_;
};

TEST_F(UnpackJob, ATwoEntryArchiveGivesItsFilesTheManifestAndTheExactLog) {
    writeArchive(ArchiveBuilder()
                     .add("A.PCM", test::patternBytes(100, 1))
                     .add("B.BIN", test::patternBytes(50, 2), {}, 96)
                     .build());
    run();
    EXPECT_EQ(window_.lines, test::unpackLog({"A.PCM", "B.BIN"}));
    EXPECT_EQ(window_.eventRounds, 4);  // once per record, once per entry
    EXPECT_EQ(work_.manifest(), "A.PCM,100\r\nB.BIN,96\r\n");
    EXPECT_EQ(work_.readEntry("A.PCM"), test::patternBytes(100, 1));
    EXPECT_EQ(work_.readEntry("B.BIN"), test::patternBytes(50, 2));
    EXPECT_EQ(test::snapshotTree(work_.output()).size(), 3u);
}

TEST_F(UnpackJob, TheFirstDataOffsetEndsTheDirectory) {
    struct Case {
        std::uint32_t firstDataOffset;
        std::size_t records;
    };
    for (Case c : {Case{17, 1}, Case{49, 1}, Case{50, 2}, Case{81, 2}}) {
        Bytes archive = ArchiveBuilder()
                            .add("A.BIN", bytesOf("first entry bytes"))
                            .add("B.BIN", bytesOf("second"))
                            .build();
        test::setRecordField(archive, 1, kDataOffsetOffset, c.firstDataOffset);
        test::setRecordField(archive, 1, kDataLengthOffset, 3);
        writeArchive(archive);
        window_ = {};
        fs::remove_all(work_.output());
        run();
        std::string expectedManifest = c.records == 1 ? "A.BIN,17\r\n" : "A.BIN,17\r\nB.BIN,6\r\n";
        EXPECT_EQ(work_.manifest(), expectedManifest) << c.firstDataOffset;
        EXPECT_EQ(window_.eventRounds, static_cast<int>(2 * c.records)) << c.firstDataOffset;
        EXPECT_EQ(fs::exists(work_.output() / "B.BIN"), c.records == 2) << c.firstDataOffset;
        Bytes from(archive.begin() + c.firstDataOffset - 1,
                   archive.begin() + c.firstDataOffset + 2);
        EXPECT_EQ(work_.readEntry("A.BIN"), from) << c.firstDataOffset;
    }
    for (auto [firstDataOffset, records] : {std::pair{0, 1}, {82, 3}, {113, 3}}) {
        EXPECT_EQ(directoryRecordCount(firstDataOffset), records) << firstDataOffset;
    }
}

TEST_F(UnpackJob, BackslashesAndZeroEscapesMakeSubfolders) {
    writeArchive(ArchiveBuilder()
                     .add("SUB\\DEEP\\A.PCM", bytesOf("a"))
                     .add("SUB/B.BIN", bytesOf("b"))
                     .add(std::string("AB\0C", 4), bytesOf("c"))
                     .build());
    run();
    EXPECT_EQ(work_.readEntry("SUB/DEEP/A.PCM"), bytesOf("a"));
    EXPECT_EQ(work_.readEntry("SUB/B.BIN"), bytesOf("b"));
    EXPECT_EQ(work_.readEntry("AB/0C"), bytesOf("c"));
    EXPECT_EQ(work_.manifest(), "SUB\\DEEP\\A.PCM,1\r\nSUB/B.BIN,1\r\nAB\\0C,1\r\n");
}

TEST_F(UnpackJob, ALaterEntryOfTheSameNameReplacesTheEarlierAndBothAreListed) {
    writeArchive(ArchiveBuilder()
                     .add("SAME.BIN", bytesOf("the longer first one"))
                     .add("SAME.BIN", bytesOf("second"))
                     .build());
    run();
    EXPECT_EQ(work_.manifest(), "SAME.BIN,20\r\nSAME.BIN,6\r\n");
    EXPECT_EQ(work_.readEntry("SAME.BIN"), bytesOf("second"));
}

TEST_F(UnpackJob, RunningTwiceGivesTheSameFilesAndOldTailsAreCut) {
    writeArchive(
        ArchiveBuilder().add("A.PCM", bytesOf("new")).add("S\\B.BIN", bytesOf("bee")).build());
    work_.writeEntry("A.PCM", bytesOf("an older and much longer content"));
    work_.writeManifest("OLD.BIN,1\r\nOLDER.BIN,2\r\nOLDEST.BIN,3\r\n");
    run();
    auto once = test::snapshotTree(work_.output());
    EXPECT_EQ(work_.readEntry("A.PCM"), bytesOf("new"));
    EXPECT_EQ(work_.manifest(), "A.PCM,3\r\nS\\B.BIN,3\r\n");
    run();
    EXPECT_EQ(test::snapshotTree(work_.output()), once);
}

TEST_F(UnpackJob, TheManifestIsCompleteBeforeTheFirstEntryAndStaysWhenTheRunEnds) {
    Bytes archive = ArchiveBuilder()
                        .add("A.PCM", bytesOf("aaa"))
                        .add("B.BIN", bytesOf("bbb"))
                        .add("C.BIN", bytesOf("ccc"))
                        .build();
    test::setRecordField(archive, 2, kDataLengthOffset, 1000);  // B reaches past the end
    writeArchive(archive);
    std::string seen;  // when the first entry is announced
    window_.onLog = [&](std::string_view message) {
        if (message.starts_with("Unpacking ") && seen.empty()) {
            seen = work_.manifest();
        }
    };
    EXPECT_THROW(run(), ToolError);
    EXPECT_EQ(seen, "A.PCM,3\r\nB.BIN,3\r\nC.BIN,3\r\n");
    EXPECT_EQ(work_.manifest(), seen);
    EXPECT_EQ(work_.readEntry("A.PCM"), bytesOf("aaa"));
    EXPECT_FALSE(fs::exists(work_.output() / "B.BIN"));
    EXPECT_FALSE(fs::exists(work_.output() / "C.BIN"));
}

TEST_F(UnpackJob, WithoutAnArchiveNothingIsWritten) {
    test::writeFileText(work_.path() / "zrk.dat.bak", "not the archive");
    auto before = snapshot();
    run();
    EXPECT_EQ(window_.lines, std::vector<std::string>{"ZRK.DAT not found!"});
    EXPECT_EQ(snapshot(), before);
    fs::create_directory(work_.path() / "ZRK.DAT");  // a folder is no archive
    run();
    EXPECT_EQ(window_.lines.back(), "ZRK.DAT not found!");
    EXPECT_FALSE(fs::exists(work_.output()));
}

TEST_F(UnpackJob, AnOutputFileInTheWayIsLoggedAndTheRunGoesOn) {
    writeArchive(ArchiveBuilder().add("A.PCM", bytesOf("a")).build());
    test::writeFileText(work_.output(), "a file, not a folder");
    auto before = snapshot();
    run();
    EXPECT_EQ(window_.lines,
              (std::vector<std::string>{"Reading metadata...", "Writing manifest file...",
                                        "Unable to write manifest file", "Unpacking A.PCM...",
                                        "Unable to write A.PCM!", "Done!"}));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(UnpackJob, AFileInTheWayOfAnEntrysFolderSkipsThatEntryOnly) {
    writeArchive(
        ArchiveBuilder().add("SUB\\A.BIN", bytesOf("a")).add("SUB2\\B.BIN", bytesOf("b")).build());
    work_.writeEntry("SUB", bytesOf("in the way"));
    run();
    EXPECT_EQ(window_.lines, test::unpackLog({"SUB\\A.BIN", "SUB2\\B.BIN"}, {"SUB\\A.BIN"}));
    EXPECT_EQ(work_.readEntry("SUB"), bytesOf("in the way"));
    EXPECT_EQ(work_.readEntry("SUB2/B.BIN"), bytesOf("b"));
}

TEST_F(UnpackJob, AFolderInTheWayOfAnEntrysFileSkipsThatEntryOnly) {
    writeArchive(ArchiveBuilder()
                     .add("A\\B.BIN", bytesOf("b"))
                     .add("A", bytesOf("a"))
                     .add("C.BIN", bytesOf("c"))
                     .build());
    run();
    EXPECT_EQ(window_.lines, test::unpackLog({"A\\B.BIN", "A", "C.BIN"}, {"A"}));
    EXPECT_EQ(work_.readEntry("A/B.BIN"), bytesOf("b"));
    EXPECT_EQ(work_.readEntry("C.BIN"), bytesOf("c"));
}

TEST_F(UnpackJob, LinksBelowOutputAreNeverWrittenThrough) {
    if (!systemMakesLinks(work_.parent())) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    fs::path elsewhere = work_.parent() / "elsewhere";
    fs::create_directories(elsewhere);
    test::writeFileText(elsewhere / "KEEP.BIN", "keep me");
    fs::create_directories(work_.output());
    fs::create_directory_symlink(elsewhere, work_.output() / "LINK");
    fs::create_symlink(elsewhere / "KEEP.BIN", work_.output() / "FILE.BIN");
    fs::create_symlink(elsewhere / "MADE.BIN", work_.output() / "DANGLE.BIN");
    fs::create_symlink(elsewhere / "LIST.TXT", work_.output() / "manifest.txt");
    std::vector<std::string> names = {"LINK\\A.BIN", "LINK\\NEW\\B.BIN", "FILE.BIN", "DANGLE.BIN",
                                      "OK.BIN"};
    ArchiveBuilder builder;
    for (const std::string& name : names) {
        builder.add(name, bytesOf(name == "OK.BIN" ? "ok" : "x"));
    }
    writeArchive(builder.build());
    auto before = test::snapshotTree(elsewhere);
    run();
    EXPECT_EQ(test::snapshotTree(elsewhere), before);
    std::vector<std::string> log = test::unpackLog(names, {names.begin(), names.end() - 1});
    log.insert(log.begin() + 2, "Unable to write manifest file");
    EXPECT_EQ(window_.lines, log);
    EXPECT_TRUE(fs::is_symlink(work_.output() / "DANGLE.BIN"));
    EXPECT_EQ(work_.readEntry("OK.BIN"), bytesOf("ok"));
}

TEST_F(UnpackJob, AnOutputFolderThatIsALinkIsTheUsersChoiceAndIsFollowed) {
    if (!systemMakesLinks(work_.parent())) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    fs::path elsewhere = work_.parent() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, work_.output());
    writeArchive(ArchiveBuilder().add("SUB\\A.BIN", bytesOf("a")).build());
    run();
    EXPECT_EQ(test::readFileText(elsewhere / "SUB" / "A.BIN"), "a");
    EXPECT_EQ(test::readFileText(elsewhere / "manifest.txt"), "SUB\\A.BIN,1\r\n");
}

TEST_F(UnpackJob, AnEmptyEntryGivesAnEmptyFileAndTheRunGoesOn) {
    writeArchive(ArchiveBuilder().add("EMPTY.BIN", {}).add("LAST.BIN", bytesOf("z")).build());
    work_.writeEntry("EMPTY.BIN", bytesOf("old content"));
    run();
    EXPECT_TRUE(work_.readEntry("EMPTY.BIN").empty());
    EXPECT_EQ(work_.readEntry("LAST.BIN"), bytesOf("z"));
    EXPECT_EQ(work_.manifest(), "EMPTY.BIN,0\r\nLAST.BIN,1\r\n");
}

TEST_F(UnpackJob, AnEntryNearTheTwoGibibyteEndOfASparseArchiveIsCopied) {
    constexpr std::int64_t kArchiveSize = 2147483646;  // the largest Repack can plan
    constexpr std::int32_t kLength = 47;
    constexpr std::int32_t kOffset = kArchiveSize - kLength + 1;
    Bytes archive = ArchiveBuilder().add("A.BIN", bytesOf("abc")).add("FAR.BIN", {}).build();
    test::setRecordField(archive, 2, kDataOffsetOffset, kOffset);
    test::setRecordField(archive, 2, kDataLengthOffset, kLength);
    writeArchive(archive);
    fs::resize_file(work_.path() / "ZRK.DAT", kArchiveSize);  // sparse: no disk space taken
    Bytes tail = test::patternBytes(kLength, 9);
    {
        std::fstream file(work_.path() / "ZRK.DAT",
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(kOffset - 1);
        file.write(reinterpret_cast<const char*>(tail.data()), kLength);
        ASSERT_TRUE(file.good());
    }
    run();
    EXPECT_EQ(fs::file_size(work_.path() / "ZRK.DAT"), static_cast<std::uintmax_t>(kArchiveSize));
    EXPECT_EQ(work_.readEntry("FAR.BIN"), tail);
    EXPECT_EQ(window_.lines.back(), "Done!");
}

}  // namespace
}  // namespace zrk
