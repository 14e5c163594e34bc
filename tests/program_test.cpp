// The built programs as a user runs them: what reaches the terminal, exit
// codes, closed standard streams, two runs at once and runs killed midway.
// Linux only.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "archive_format.h"
#include "child_process.h"
#include "support.h"
#include "zrk_version.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::archiveOf;
using test::Bytes;
using test::ChildOptions;
using test::runChild;
using test::Tree;

const std::string kUnpack = UNPACK_PROGRAM;
const std::string kRepack = REPACK_PROGRAM;

std::string withWork(std::string text, const test::WorkFolder& work) {
    for (std::size_t at; (at = text.find("<work>")) != std::string::npos;) {
        text.replace(at, 6, work.path());
    }
    return text;
}

TEST(Programs, ShowTheLogOnStandardOutputAndAnErrorOnStandardError) {
    struct Row {
        const std::string& program;
        Tree files;
        int exitCode;
        std::string out;
        std::string err;
        ChildOptions options = ChildOptions();
    };
    std::string archive = test::textOf(archiveOf({{"\xC9T\x7F\x81.BIN", "x"}}));
    std::string longName(300, 'A');
    for (const Row& row : std::vector<Row>{
             {kUnpack,
              {{"work/ZRK.DAT", archive}},
              0,
              "Reading metadata...\nWriting manifest file...\nUnpacking "
              "\xC3\x89T\\127\\129.BIN...\n"
              "Done!\n",
              ""},
             {kUnpack,
              {{"work/ZRK.DAT", archive.substr(0, 10)}},
              1,
              "",
              "error: <work>ZRK.DAT is damaged: it is 10 bytes long, shorter than its 16-byte "
              "header\n"},
             {kRepack,
              {{"work/Output/manifest.txt", "E\x1B[31m.BIN,1\r\n"},
               {"work/Output/E\x1B[31m.BIN", "e"}},
              0,
              "Reading metadata from manifest...\nWriting metadata...\nRepacking E\\27[31m.BIN...\n"
              "Done!\n",
              ""},
             {kRepack,
              {{"work/Output/manifest.txt", "GONE\x7F.BIN,1\r\n"}},
              1,
              "Reading metadata from manifest...\n",
              "error: manifest.txt line 1: <work>Output/GONE\\127.BIN is missing or not a plain "
              "file\n"},
             {kRepack,
              {{"work/Output/manifest.txt", longName + ",1\r\n"}},
              1,
              "Reading metadata from manifest...\n",
              "error: manifest.txt line 1: cannot look at <work>Output/" + longName +
                  ": File name too long\n"},
             {kRepack,
              {{"work/Output/manifest.txt", "A.BIN,1\r\n"}},
              1,
              "Reading metadata from manifest...\n",
              "error: cannot open <work>Output/manifest.txt: Permission denied\n",
              test::asNobody()},
         }) {
        test::WorkFolder work;
        work.make(row.files);
        if (row.options.asNobody) {
            fs::permissions(work.path(), fs::perms::all);
            fs::permissions(work.native("Output\\manifest.txt"), fs::perms::none);
        }
        test::ChildResult result = runChild(row.program, work.path(), row.options);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.err;
        EXPECT_EQ(result.out, withWork(row.out, work));
        EXPECT_EQ(result.err, withWork(row.err, work));
    }
}

TEST(Programs, OptionsThatEndAtOnceTouchNothing) {
    auto refused = [](const std::string& name, const std::string& complaint) {
        return name + ": " + complaint + "\nusage: " + name + " [-h] [--version] [-C DIR]\n";
    };
    struct Row {
        const std::string& program;
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // its start
        std::string err;
    };
    for (const Row& row : std::vector<Row>{
             {kUnpack, {"--help"}, 0, "usage: unpack [-h] [--version] [-C DIR]\n\nTakes", ""},
             {kRepack, {"-h"}, 0, "usage: repack [-h] [--version] [-C DIR]\n\nBuilds", ""},
             {kUnpack, {"--version"}, 0, "unpack " ZRK_VERSION_TEXT "\n", ""},
             {kRepack, {"--version", "-C", "Output"}, 0, "repack " ZRK_VERSION_TEXT "\n", ""},
             {kUnpack, {"--verbose"}, 2, "", refused("unpack", "unknown option '--verbose'")},
             {kRepack, {"-hx"}, 2, "", refused("repack", "unknown option '-x'")},
             {kUnpack, {"ZRK.DAT"}, 2, "", refused("unpack", "unexpected argument 'ZRK.DAT'")},
             {kRepack, {"-C"}, 2, "", refused("repack", "option -C needs a folder")},
             {kUnpack,
              {"-C", "X"},
              2,
              "",
              "unpack: cannot work in 'X': No such file or directory\n"},
         }) {
        test::WorkFolder work;
        work.make({{"work/ZRK.DAT", "x"}, {"work/Output/manifest.txt", "A.BIN,1\r\n"}});
        Tree before = work.tree();
        test::ChildResult result = runChild(row.program, work.path(), test::withArgs(row.args));
        EXPECT_EQ(result.exitCode, row.exitCode) << row.args.front();
        EXPECT_TRUE(result.out.starts_with(row.out)) << result.out;
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(work.tree(), before);
    }
}

// Sent into the work folder by a relative or an absolute path, a program
// leaves the same files and log as one started there.
TEST(Programs, TheDirectoryOptionWorksAsIfStartedThere) {
    Bytes archive = archiveOf({{"A.PCM", "abc"}});
    for (const std::string& program : {kUnpack, kRepack}) {
        test::WorkFolder inside;
        inside.write("ZRK.DAT", archive);
        runChild(kUnpack, inside.path());
        test::ChildResult expected = runChild(program, inside.path());
        for (bool absolute : {false, true}) {
            test::WorkFolder sent;
            sent.write("ZRK.DAT", archive);
            runChild(kUnpack, sent.path());
            std::vector<std::string> args = {"-C", "work"};
            if (absolute) {
                args = {"--directory=" + sent.path()};
            }
            test::ChildResult result = runChild(program, sent.parent(), test::withArgs(args));
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(result.out, expected.out);
            EXPECT_EQ(sent.tree(), inside.tree());
        }
    }
}

TEST(Programs, AClosedStandardStreamLosesNothingButTheLog) {
    Bytes archive = archiveOf({{"A.PCM", "abc"}, {"SUB\\B.BIN", "de", 7}});
    auto bothRuns = [&](int closed) {
        test::WorkFolder work;
        work.write("ZRK.DAT", archive);
        EXPECT_EQ(runChild(kUnpack, work.path(), test::closing(closed)).exitCode, 0);
        EXPECT_EQ(runChild(kRepack, work.path(), test::closing(closed)).exitCode, 0);
        return work.tree();
    };
    Tree normal = bothRuns(-1);
    EXPECT_EQ(normal["work/ZRK.NEW"], test::textOf(archive));
    for (int stream : {0, 1, 2}) {
        EXPECT_EQ(bothRuns(stream), normal) << "standard stream " << stream << " closed";
    }
}

// Enough entries that the log fills a pipe of one page while entries remain.
const std::vector<test::TestEntry> kMany = [] {
    std::vector<test::TestEntry> entries;
    for (int i = 0; i < 400; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "D%d\\F%03d.BIN", i % 7, i);
        entries.push_back({name, test::pattern(100 + i * 13, i), i});
    }
    return entries;
}();
const Bytes kManyArchive = archiveOf(kMany);

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != text.npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Starts `program` in `work` until it blocks on its log, checks that the other
// program cannot run there meanwhile, kills it and gives how many entries it
// logged: each of them is whole on disk, as the program stopped on the next
// line.
std::size_t interrupt(const std::string& program, const std::string& other,
                      const test::WorkFolder& work) {
    test::Child running(program, work.path(), test::onAOnePageLog());
    EXPECT_TRUE(running.waitUntilBlocked());
    Tree during = work.tree();
    test::ChildResult refused = runChild(other, work.path());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "error: Output is in use by another Unpack or Repack\n");
    EXPECT_EQ(work.tree(), during);
    running.kill();
    running.finish();
    std::size_t logged = linesOf(running.out).size() - 2;
    EXPECT_LT(logged, kMany.size()) << "the run was not stopped midway";
    return logged;
}

TEST(Programs, AKilledUnpackLeavesWhatItLoggedAndARerunFinishes) {
    test::WorkFolder whole;
    whole.write("ZRK.DAT", kManyArchive);
    ASSERT_EQ(runChild(kUnpack, whole.path()).exitCode, 0);
    test::WorkFolder work;
    work.write("ZRK.DAT", kManyArchive);
    std::size_t logged = interrupt(kUnpack, kRepack, work);
    EXPECT_EQ(work.read("Output\\manifest.txt"), whole.read("Output\\manifest.txt"));
    for (std::size_t k = 0; k < logged; ++k) {
        EXPECT_EQ(test::textOf(work.read("Output\\" + kMany[k].name)), kMany[k].data);
    }
    EXPECT_EQ(runChild(kUnpack, work.path()).exitCode, 0);
    EXPECT_EQ(work.tree(), whole.tree());
}

TEST(Programs, AKilledRepackLeavesWhatItLoggedAndARerunFinishes) {
    test::WorkFolder work;
    work.write("ZRK.DAT", kManyArchive);
    ASSERT_EQ(runChild(kUnpack, work.path()).exitCode, 0);
    work.write("ZRK.NEW", Bytes(kManyArchive.size() + 1000, 0xEE));  // none of it may stay
    std::size_t logged = interrupt(kRepack, kUnpack, work);
    Bytes partial = work.read("ZRK.NEW");
    ArchiveEntry next = decodeDirectoryRecord(
        Bytes(kManyArchive.begin() + fileOffset(recordPosition(logged + 1)), kManyArchive.end()),
        logged + 1);
    ASSERT_GE(partial.size(), static_cast<std::size_t>(fileOffset(next.dataOffset)));
    ASSERT_LE(partial.size(), kManyArchive.size());
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), kManyArchive.begin()));
    EXPECT_EQ(runChild(kRepack, work.path()).exitCode, 0);
    EXPECT_EQ(work.read("ZRK.NEW"), kManyArchive);
}

// A program that ends before it blocks fails the wait, and nothing but the
// test's own child is signalled: the check runs in a session of its own.
TEST(Programs, AProgramThatEndsBeforeBlockingIsNotWaitedForNorKilledAround) {
    test::WorkFolder empty;
    pid_t checker = ::fork();
    if (checker == 0) {
        ::setsid();
        test::Child child(kUnpack, empty.path(), test::onAOnePageLog());
        bool blocked = child.waitUntilBlocked();
        child.kill();
        ::_exit(blocked ? 1 : 0);
    }
    ASSERT_GT(checker, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(checker, &status, 0), checker);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace zrk
