// Files that only POSIX systems have in the way of Unpack's output.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "archive_builder.h"
#include "test_support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

// Ends the test binary, and so fails the test, should the run hang.
class Deadline {
public:
    explicit Deadline(unsigned seconds) { ::alarm(seconds); }
    ~Deadline() { ::alarm(0); }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
};

TEST(SpecialFiles, ANamedPipeInPlaceOfAnEntryOrTheManifestIsRefusedNotWaitedOn) {
    test::TempFolder work;
    fs::path output = work.path() / "Output";
    fs::create_directories(output);
    ASSERT_EQ(::mkfifo((output / "PIPE.BIN").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((output / "manifest.txt").c_str(), 0600), 0);
    test::writeFileBytes(work.path() / "ZRK.DAT", test::ArchiveBuilder()
                                                      .add("PIPE.BIN", test::bytesOf("p"))
                                                      .add("OK.BIN", test::bytesOf("ok"))
                                                      .build());
    test::RecordingWindow window;
    {
        Deadline deadline(10);
        runUnpack(window, work.workDir());
    }
    EXPECT_EQ(window.lines, (std::vector<std::string>{
                                "Reading metadata...", "Writing manifest file...",
                                "Unable to write manifest file", "Unpacking PIPE.BIN...",
                                "Unable to write PIPE.BIN!", "Unpacking OK.BIN...", "Done!"}));
    EXPECT_EQ(fs::status(output / "PIPE.BIN").type(), fs::file_type::fifo);
    EXPECT_EQ(test::readFileText(output / "OK.BIN"), "ok");
}

// Output reaching the archive itself, by a hard link or a link to the work
// folder, must not let Unpack empty the archive it reads from.
TEST(SpecialFiles, TheArchiveUnderAnotherNameIsNeverEmptied) {
    test::Bytes archive = test::ArchiveBuilder()
                              .add("A.BIN", test::bytesOf("aaa"))
                              .add("ZRK.DAT", test::bytesOf("zz"))
                              .add("B.BIN", test::bytesOf("b"))
                              .build();
    test::TempFolder work;
    test::writeFileBytes(work.path() / "ZRK.DAT", archive);
    fs::create_directories(work.path() / "Output");
    fs::create_hard_link(work.path() / "ZRK.DAT", work.path() / "Output" / "A.BIN");
    test::RecordingWindow window;
    runUnpack(window, work.workDir());
    EXPECT_EQ(window.lines[3], "Unable to write A.BIN!");
    EXPECT_EQ(window.lines.back(), "Done!");
    EXPECT_EQ(test::readFileBytes(work.path() / "ZRK.DAT"), archive);
    EXPECT_EQ(test::readFileText(work.path() / "Output" / "B.BIN"), "b");

    test::TempFolder linked;
    test::writeFileBytes(linked.path() / "ZRK.DAT", archive);
    fs::create_directory_symlink(".", linked.path() / "Output");
    window.lines.clear();
    runUnpack(window, linked.workDir());
    EXPECT_EQ(window.lines[4], "Unable to write ZRK.DAT!");
    EXPECT_EQ(window.lines.back(), "Done!");
    EXPECT_EQ(test::readFileBytes(linked.path() / "ZRK.DAT"), archive);
}

}  // namespace
}  // namespace zrk
