#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive_builder.h"
#include "archive_directory.h"
#include "errors.h"
#include "test_support.h"
#include "unpack_job.h"
#include "work_files.h"

namespace zrk {
namespace {

// Windows lets only some users make symbolic links, and Wine none at all.
bool systemMakesLinks(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_symlink(folder / "probe-target", folder / "probe-link", error);
    std::error_code ignored;
    std::filesystem::remove(folder / "probe-link", ignored);
    return !error;
}

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::Bytes;

// A work folder inside a parent folder, so that a check can see that nothing
// outside Output changed, also above the work folder.
class UnpackJob : public ::testing::Test {
protected:
    UnpackJob() { fs::create_directory(work()); }

    fs::path work() const { return parent_.path() / "work"; }
    fs::path output() const { return work() / "Output"; }
    std::string workDir() const { return (work() / "").string(); }

    void writeArchive(const Bytes& bytes) const { test::writeFileBytes(work() / "ZRK.DAT", bytes); }

    void run() { runUnpack(window_, workDir()); }

    std::string manifest() const {
        Bytes text = test::readNativeFile(manifestPath(workDir()));
        return std::string(text.begin(), text.end());
    }
    // `relative` as the archive names it, with '/' or a backslash between folders.
    Bytes entryFile(const std::string& relative) const {
        return test::readNativeFile(entryPath(workDir(), relative));
    }

    test::TempFolder parent_;
    test::RecordingWindow window_;
};

Bytes bytes(std::string_view text) {
    return test::bytesOf(text);
}

TEST_F(UnpackJob, ATwoEntryArchiveGivesItsFilesTheManifestAndTheExactLog) {
    ArchiveBuilder builder;
    builder.add("A.PCM", test::patternBytes(100, 1))
        .add("B.BIN", test::patternBytes(50, 2), {}, 96);
    writeArchive(builder.build());
    run();
    EXPECT_EQ(window_.lines,
              (std::vector<std::string>{"Reading metadata...", "Writing manifest file...",
                                        "Unpacking A.PCM...", "Unpacking B.BIN...", "Done!"}));
    EXPECT_EQ(window_.eventRounds, 4);  // once per record, once per entry
    EXPECT_EQ(manifest(), "A.PCM,100\r\nB.BIN,96\r\n");
    EXPECT_EQ(entryFile("A.PCM"), test::patternBytes(100, 1));
    EXPECT_EQ(entryFile("B.BIN"), test::patternBytes(50, 2));
    EXPECT_EQ(test::snapshotTree(output()).size(), 3u);
}

TEST_F(UnpackJob, TheFirstDataOffsetEndsTheDirectory) {
    struct Case {
        std::uint32_t firstDataOffset;
        std::size_t records;
    };
    for (Case c : {Case{17, 1}, Case{49, 1}, Case{50, 2}, Case{81, 2}}) {
        Bytes archive = ArchiveBuilder()
                            .add("A.BIN", bytes("first entry bytes"))
                            .add("B.BIN", bytes("second"))
                            .build();
        test::setRecordField(archive, 1, kDataOffsetOffset, c.firstDataOffset);
        test::setRecordField(archive, 1, kDataLengthOffset, 3);
        writeArchive(archive);
        window_ = {};
        fs::remove_all(output());
        run();
        std::string expectedManifest = c.records == 1 ? "A.BIN,17\r\n" : "A.BIN,17\r\nB.BIN,6\r\n";
        EXPECT_EQ(manifest(), expectedManifest) << c.firstDataOffset;
        EXPECT_EQ(window_.eventRounds, static_cast<int>(2 * c.records)) << c.firstDataOffset;
        EXPECT_EQ(fs::exists(output() / "B.BIN"), c.records == 2) << c.firstDataOffset;
        Bytes from(archive.begin() + c.firstDataOffset - 1,
                   archive.begin() + c.firstDataOffset + 2);
        EXPECT_EQ(entryFile("A.BIN"), from) << c.firstDataOffset;
    }
}

TEST(DirectoryRecordCount, CountsRecordsUpToTheFirstDataOffset) {
    struct Case {
        std::int32_t firstDataOffset;
        std::int64_t records;
    };
    for (Case c : {Case{0, 1}, Case{49, 1}, Case{50, 2}, Case{81, 2}, Case{82, 3}, Case{113, 3},
                   Case{2147483647, 67108864}}) {
        EXPECT_EQ(directoryRecordCount(c.firstDataOffset), c.records) << c.firstDataOffset;
    }
}

TEST_F(UnpackJob, BackslashesAndZeroEscapesMakeSubfolders) {
    ArchiveBuilder builder;
    builder.add("SUB\\DEEP\\A.PCM", bytes("a"))
        .add("SUB/B.BIN", bytes("b"))
        .add(std::string("AB\0C", 4), bytes("c"));
    writeArchive(builder.build());
    run();
    EXPECT_EQ(entryFile("SUB/DEEP/A.PCM"), bytes("a"));
    EXPECT_EQ(entryFile("SUB/B.BIN"), bytes("b"));
    EXPECT_EQ(entryFile("AB/0C"), bytes("c"));
    EXPECT_EQ(manifest(), "SUB\\DEEP\\A.PCM,1\r\nSUB/B.BIN,1\r\nAB\\0C,1\r\n");
}

TEST_F(UnpackJob, ALaterEntryOfTheSameNameReplacesTheEarlierAndBothAreListed) {
    writeArchive(ArchiveBuilder()
                     .add("SAME.BIN", bytes("the longer first one"))
                     .add("SAME.BIN", bytes("second"))
                     .build());
    run();
    EXPECT_EQ(manifest(), "SAME.BIN,20\r\nSAME.BIN,6\r\n");
    EXPECT_EQ(entryFile("SAME.BIN"), bytes("second"));
}

TEST_F(UnpackJob, RunningTwiceGivesTheSameFilesAndOldTailsAreCut) {
    writeArchive(ArchiveBuilder().add("A.PCM", bytes("new")).add("S\\B.BIN", bytes("bee")).build());
    test::writeFileText(output() / "A.PCM", "an older and much longer content");
    test::writeFileText(output() / "manifest.txt", "OLD.BIN,1\r\nOLDER.BIN,2\r\nOLDEST.BIN,3\r\n");
    run();
    auto once = test::snapshotTree(output());
    EXPECT_EQ(entryFile("A.PCM"), bytes("new"));
    EXPECT_EQ(manifest(), "A.PCM,3\r\nS\\B.BIN,3\r\n");
    run();
    EXPECT_EQ(test::snapshotTree(output()), once);
}

// Looks at the manifest when the first entry is announced.
class ManifestWatchingWindow final : public ToolWindow {
public:
    explicit ManifestWatchingWindow(fs::path manifest) : manifest_(std::move(manifest)) {}
    void appendLog(std::string_view message) override {
        if (message.starts_with("Unpacking ") && seen.empty()) {
            seen = test::readFileText(manifest_);
        }
    }
    void processEvents() override {}
    std::string seen;

private:
    fs::path manifest_;
};

TEST_F(UnpackJob, TheManifestIsCompleteBeforeTheFirstEntryAndStaysWhenTheRunEnds) {
    Bytes archive = ArchiveBuilder()
                        .add("A.PCM", bytes("aaa"))
                        .add("B.BIN", bytes("bbb"))
                        .add("C.BIN", bytes("ccc"))
                        .build();
    test::setRecordField(archive, 2, kDataLengthOffset, 1000);  // B reaches past the end
    writeArchive(archive);
    ManifestWatchingWindow watcher(output() / "manifest.txt");
    EXPECT_THROW(runUnpack(watcher, workDir()), ToolError);
    EXPECT_EQ(watcher.seen, "A.PCM,3\r\nB.BIN,3\r\nC.BIN,3\r\n");
    EXPECT_EQ(manifest(), watcher.seen);
    EXPECT_EQ(entryFile("A.PCM"), bytes("aaa"));
    EXPECT_FALSE(fs::exists(output() / "B.BIN"));
    EXPECT_FALSE(fs::exists(output() / "C.BIN"));
}

TEST_F(UnpackJob, WithoutAnArchiveNothingIsWritten) {
    test::writeFileText(work() / "zrk.dat.bak", "not the archive");
    auto before = test::snapshotTree(parent_.path());
    run();
    EXPECT_EQ(window_.lines, std::vector<std::string>{"ZRK.DAT not found!"});
    EXPECT_EQ(test::snapshotTree(parent_.path()), before);
    fs::create_directory(work() / "ZRK.DAT");  // a folder is no archive
    run();
    EXPECT_EQ(window_.lines.back(), "ZRK.DAT not found!");
    EXPECT_FALSE(fs::exists(output()));
}

TEST_F(UnpackJob, AnOutputFileInTheWayIsLoggedAndTheRunGoesOn) {
    writeArchive(ArchiveBuilder().add("A.PCM", bytes("a")).build());
    test::writeFileText(work() / "Output", "a file, not a folder");
    auto before = test::snapshotTree(parent_.path());
    run();
    EXPECT_EQ(window_.lines,
              (std::vector<std::string>{"Reading metadata...", "Writing manifest file...",
                                        "Unable to write manifest file", "Unpacking A.PCM...",
                                        "Unable to write A.PCM!", "Done!"}));
    EXPECT_EQ(test::snapshotTree(parent_.path()), before);
}

TEST_F(UnpackJob, AFileInTheWayOfAnEntrysFolderSkipsThatEntryOnly) {
    writeArchive(
        ArchiveBuilder().add("SUB\\A.BIN", bytes("a")).add("SUB2\\B.BIN", bytes("b")).build());
    test::writeFileText(output() / "SUB", "in the way");
    run();
    EXPECT_EQ(window_.lines[3], "Unable to write SUB\\A.BIN!");
    EXPECT_EQ(test::readFileText(output() / "SUB"), "in the way");
    EXPECT_EQ(entryFile("SUB2/B.BIN"), bytes("b"));
    EXPECT_EQ(window_.lines.back(), "Done!");
}

TEST_F(UnpackJob, AFolderInTheWayOfAnEntrysFileSkipsThatEntryOnly) {
    writeArchive(ArchiveBuilder()
                     .add("A\\B.BIN", bytes("b"))
                     .add("A", bytes("a"))
                     .add("C.BIN", bytes("c"))
                     .build());
    run();
    EXPECT_EQ(window_.lines[4], "Unable to write A!");
    EXPECT_EQ(entryFile("A/B.BIN"), bytes("b"));
    EXPECT_EQ(entryFile("C.BIN"), bytes("c"));
    EXPECT_EQ(window_.lines.back(), "Done!");
}

// Found by the archive fuzzer: an entry named manifest.txt replaced the
// manifest that lists every entry.
TEST_F(UnpackJob, AnEntryNamedLikeTheManifestIsRefusedAndTheManifestStays) {
    writeArchive(ArchiveBuilder()
                     .add("manifest.txt", bytes("not a manifest"))
                     .add(".\\manifest.txt", bytes("nor this"))
                     .add("SUB\\manifest.txt", bytes("sub"))
                     .build());
    run();
    EXPECT_EQ(window_.lines[3], "Unable to write manifest.txt!");
    EXPECT_EQ(window_.lines[5], "Unable to write .\\manifest.txt!");
    EXPECT_EQ(window_.lines.back(), "Done!");
    EXPECT_EQ(manifest(), "manifest.txt,14\r\n.\\manifest.txt,8\r\nSUB\\manifest.txt,3\r\n");
    EXPECT_EQ(entryFile("SUB/manifest.txt"), bytes("sub"));
}

TEST_F(UnpackJob, LinksBelowOutputAreNeverWrittenThrough) {
    if (!systemMakesLinks(parent_.path())) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    fs::path elsewhere = parent_.path() / "elsewhere";
    fs::create_directories(elsewhere);
    test::writeFileText(elsewhere / "KEEP.BIN", "keep me");
    fs::create_directories(output());
    fs::create_directory_symlink(elsewhere, output() / "LINK");
    fs::create_symlink(elsewhere / "KEEP.BIN", output() / "FILE.BIN");
    fs::create_symlink(elsewhere / "MADE.BIN", output() / "DANGLE.BIN");
    fs::create_symlink(elsewhere / "LIST.TXT", output() / "manifest.txt");
    writeArchive(ArchiveBuilder()
                     .add("LINK\\A.BIN", bytes("x"))
                     .add("LINK\\NEW\\B.BIN", bytes("x"))
                     .add("FILE.BIN", bytes("x"))
                     .add("DANGLE.BIN", bytes("x"))
                     .add("OK.BIN", bytes("ok"))
                     .build());
    auto before = test::snapshotTree(elsewhere);
    run();
    EXPECT_EQ(test::snapshotTree(elsewhere), before);
    EXPECT_EQ(window_.lines[2], "Unable to write manifest file");
    for (std::string name : {"LINK\\A.BIN", "LINK\\NEW\\B.BIN", "FILE.BIN", "DANGLE.BIN"}) {
        EXPECT_NE(
            std::find(window_.lines.begin(), window_.lines.end(), "Unable to write " + name + "!"),
            window_.lines.end())
            << name;
    }
    EXPECT_TRUE(fs::is_symlink(output() / "DANGLE.BIN"));
    EXPECT_EQ(entryFile("OK.BIN"), bytes("ok"));
}

TEST_F(UnpackJob, AnOutputFolderThatIsALinkIsTheUsersChoiceAndIsFollowed) {
    if (!systemMakesLinks(parent_.path())) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    fs::path elsewhere = parent_.path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, output());
    writeArchive(ArchiveBuilder().add("SUB\\A.BIN", bytes("a")).build());
    run();
    EXPECT_EQ(test::readFileText(elsewhere / "SUB" / "A.BIN"), "a");
    EXPECT_EQ(test::readFileText(elsewhere / "manifest.txt"), "SUB\\A.BIN,1\r\n");
}

TEST_F(UnpackJob, EmptyEntriesGiveEmptyFilesAndAnEmptyNameIsRefused) {
    Bytes archive = ArchiveBuilder()
                        .add("EMPTY.BIN", {})
                        .add("NONAME", bytes("x"))
                        .add("LAST.BIN", bytes("z"))
                        .build();
    test::setRecordName(archive, 2, "");
    writeArchive(archive);
    test::writeFileText(output() / "EMPTY.BIN", "old content");
    run();
    EXPECT_TRUE(entryFile("EMPTY.BIN").empty());
    EXPECT_EQ(window_.lines[4], "Unable to write !");
    EXPECT_EQ(entryFile("LAST.BIN"), bytes("z"));
    EXPECT_EQ(manifest(), "EMPTY.BIN,0\r\n,1\r\nLAST.BIN,1\r\n");
}

TEST_F(UnpackJob, AnEntryNearTheTwoGibibyteEndOfASparseArchiveIsCopied) {
    constexpr std::int64_t kArchiveSize = 2147483646;  // the largest Repack can plan
    constexpr std::int32_t kLength = 47;
    constexpr std::int32_t kOffset = kArchiveSize - kLength + 1;
    Bytes archive = ArchiveBuilder().add("A.BIN", bytes("abc")).add("FAR.BIN", {}).build();
    test::setRecordField(archive, 2, kDataOffsetOffset, kOffset);
    test::setRecordField(archive, 2, kDataLengthOffset, kLength);
    writeArchive(archive);
    fs::resize_file(work() / "ZRK.DAT", kArchiveSize);  // sparse: no disk space taken
    Bytes tail = test::patternBytes(kLength, 9);
    {
        std::fstream file(work() / "ZRK.DAT", std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(kOffset - 1);
        file.write(reinterpret_cast<const char*>(tail.data()), kLength);
        ASSERT_TRUE(file.good());
    }
    run();
    EXPECT_EQ(fs::file_size(work() / "ZRK.DAT"), static_cast<std::uintmax_t>(kArchiveSize));
    EXPECT_EQ(entryFile("FAR.BIN"), tail);
    EXPECT_EQ(window_.lines.back(), "Done!");
}

}  // namespace
}  // namespace zrk
