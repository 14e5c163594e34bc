// The built programs as a user runs them: what reaches the terminal, options,
// exit codes, closed standard streams, two runs at once and runs killed
// midway. Linux only.
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
using test::run;
using test::Tree;
constexpr auto archive = test::archiveOf;

const std::string kUnpack = UNPACK_PROGRAM;
const std::string kRepack = REPACK_PROGRAM;

// What reaches the terminal, and the exit code, for a run in a folder holding
// `file` (ZRK.DAT for Unpack, the manifest for Repack) and Output/E<ESC>[31m.
// A command line ends the run at once and touches nothing.
struct Shown {
    const std::string& program;
    std::vector<std::string> args;
    std::string file;
    int exitCode;
    std::string out;       // all of it, or its start for a command line
    std::string err = "";  // "<work>" stands for the work folder
    unsigned flags = 0;
};

TEST(Programs, AnswerOnTheTerminal) {
    const std::string meta = "Reading metadata from manifest...\n", longName(300, 'A');
    const std::string two = archive({{"\xC9T\x7F\x81.BIN", "x"}, {"E\x1B[31m.BIN", "e"}});
    auto refused = [](const std::string& name, const std::string& complaint) {
        return name + ": " + complaint + "\nusage: " + name + " [-h] [--version] [-C DIR]\n";
    };
    // clang-format off
    for (const Shown& row : std::vector<Shown>{
             {kUnpack, {}, two, 0, "Reading metadata...\nWriting manifest file...\nUnpacking \xC3\x89T\\127\\129.BIN"
                                   "...\nUnpacking E\\27[31m.BIN...\nDone!\n"},
             {kUnpack, {}, two.substr(0, 10), 1, "",
              "error: <work>ZRK.DAT is damaged: it is 10 bytes long, shorter than its 16-byte header\n"},
             {kRepack, {}, "E\x1B[31m.BIN,1\r\n", 0, meta + "Writing metadata...\nRepacking E\\27[31m.BIN...\nDone!\n"},
             {kRepack, {}, "GONE\x7F.BIN,1\r\n", 1, meta,
              "error: manifest.txt line 1: <work>Output/GONE\\127.BIN is missing or not a plain file\n"},
             {kRepack, {}, longName + ",1\r\n", 1, meta,
              "error: manifest.txt line 1: cannot look at <work>Output/" + longName + ": File name too long\n"},
             {kRepack, {}, "E\x1B[31m.BIN,1\r\n", 1, meta,
              "error: cannot open <work>Output/manifest.txt: Permission denied\n", test::kAsNobody},
             {kUnpack, {}, two, 1, "Reading metadata...\nWriting manifest file...\n",
              "error: cannot create <work>Output/manifest.txt: Permission denied\n", test::kAsNobody},
             {kUnpack, {"--help"}, two, 0, "usage: unpack [-h] [--version] [-C DIR]\n\nTakes"},
             {kRepack, {"-h"}, "A,1", 0, "usage: repack [-h] [--version] [-C DIR]\n\nBuilds"},
             {kUnpack, {"--version"}, two, 0, "unpack " ZRK_VERSION_TEXT "\n"},
             {kRepack, {"--version", "-C", "Output"}, "A,1", 0, "repack " ZRK_VERSION_TEXT "\n"},
             {kUnpack, {"--verbose"}, two, 2, "", refused("unpack", "unknown option '--verbose'")},
             {kRepack, {"-hx"}, "A,1", 2, "", refused("repack", "unknown option '-x'")},
             {kRepack, {"--help=all"}, "A,1", 2, "", refused("repack", "unknown option '--help=all'")},
             {kUnpack, {"ZRK.DAT"}, two, 2, "", refused("unpack", "unexpected argument 'ZRK.DAT'")},
             {kRepack, {"-C"}, "A,1", 2, "", refused("repack", "option -C needs a folder")},
             {kUnpack, {"-C", "X"}, two, 2, "", "unpack: cannot work in 'X': No such file or directory\n"}}) {
        // clang-format on
        test::WorkFolder work;
        std::string file = row.program == kUnpack ? "work/ZRK.DAT" : "work/Output/manifest.txt";
        work.make({{"work/Output/E\x1B[31m.BIN", "e"}, {file, row.file}});
        std::error_code error;  // Unpack's run has no manifest yet
        if (row.flags != 0) {  // a manifest only its owner may read, in an Output only it may write
            fs::permissions(work.path(), fs::perms::all);
            fs::permissions(work.native("Output/manifest.txt"), fs::perms::owner_write, error);
        }
        Tree before = work.tree();
        test::Ran result = run(row.program, work.path(), row.args, -1, row.flags);
        std::string err = row.err;
        if (std::size_t at = err.find("<work>"); at != err.npos) {
            err.replace(at, 6, work.path());
        }
        EXPECT_EQ(result.exitCode, row.exitCode) << row.out;
        EXPECT_EQ(row.args.empty() ? result.out : result.out.substr(0, row.out.size()), row.out);
        EXPECT_EQ(result.err, err);
        EXPECT_TRUE(row.args.empty() || work.tree() == before);
    }
}

// Both programs in turn, in a fresh folder holding `archive`: the files they
// leave and their logs.
std::pair<Tree, std::string> bothRuns(const std::string& archive, const std::string& from,
                                      const std::vector<std::string>& args, int closed = -1) {
    test::WorkFolder work;
    work.make({{"work/ZRK.DAT", archive}});
    std::string in = from == "parent" ? work.parent() : work.path();
    test::Ran unpack = run(kUnpack, in, args, closed);
    test::Ran repack = run(kRepack, in, args, closed);
    EXPECT_EQ(unpack.exitCode + repack.exitCode, 0);
    return {work.tree(), unpack.out + repack.out};
}

// Sent into the work folder by -C, the programs do what they do when started
// there; with a standard stream closed they lose nothing but the log.
TEST(Programs, WorkAlikeFromAnotherFolderAndWithAClosedStream) {
    std::string bytes = archive({{"A.PCM", "abc"}, {"SUB\\B.BIN", "de", 7}});
    auto [files, log] = bothRuns(bytes, "work", {});
    EXPECT_EQ(files["work/ZRK.NEW"], bytes);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-C", "work"}, {"--directory=work"}}) {
        EXPECT_EQ(bothRuns(bytes, "parent", args), std::pair(files, log)) << args.front();
    }
    for (int stream : {0, 1, 2}) {
        EXPECT_EQ(bothRuns(bytes, "work", {}, stream).first, files) << "stream " << stream;
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
const std::string kManyArchive = archive(kMany);

// Starts `program` in `work` until it blocks on its log, checks that the other
// program refuses to run there meanwhile, touching nothing, kills it and gives
// how many entries it logged: each of them is whole on disk, as the program
// stopped on the next line.
std::size_t interrupt(const std::string& program, const std::string& other,
                      const test::WorkFolder& work) {
    test::Blocked running(program, work.path());
    EXPECT_TRUE(running.waitUntilBlocked());
    Tree during = work.tree();
    test::Ran refused = run(other, work.path());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "error: Output is in use by another Unpack or Repack\n");
    EXPECT_EQ(work.tree(), during);
    std::string log = running.kill().out;
    std::size_t logged = std::count(log.begin(), log.end(), '\n') - 2;
    EXPECT_LT(logged, kMany.size()) << "the run was not stopped midway";
    return logged;
}

TEST(Programs, AKilledRunLeavesWhatItLoggedAndARerunFinishes) {
    test::WorkFolder whole;
    whole.make({{"work/ZRK.DAT", kManyArchive}});
    ASSERT_EQ(run(kUnpack, whole.path()).exitCode, 0);
    test::WorkFolder work;
    work.make({{"work/ZRK.DAT", kManyArchive}});
    std::size_t logged = interrupt(kUnpack, kRepack, work);
    EXPECT_EQ(work.read("Output/manifest.txt"), whole.read("Output/manifest.txt"));
    for (std::size_t k = 0; k < logged; ++k) {
        EXPECT_EQ(work.read("Output\\" + kMany[k].name), kMany[k].data);
    }
    EXPECT_EQ(run(kUnpack, work.path()).exitCode, 0);
    EXPECT_EQ(work.tree(), whole.tree());

    work.make({{"work/ZRK.NEW", std::string(kManyArchive.size() + 1000, 'x')}});
    logged = interrupt(kRepack, kUnpack, work);
    std::string partial = work.read("ZRK.NEW");
    auto written = static_cast<std::size_t>(fileOffset(firstDataPosition(std::ssize(kMany))));
    for (std::size_t k = 0; k < logged; ++k) {
        written += kMany[k].data.size();  // every logged entry
    }
    EXPECT_GE(partial.size(), written);
    EXPECT_TRUE(kManyArchive.starts_with(partial));
    EXPECT_EQ(run(kRepack, work.path()).exitCode, 0);
    EXPECT_EQ(work.read("ZRK.NEW"), kManyArchive);
}

// A program that ends before it blocks fails the wait, and nothing but the
// test's own child is signalled: the check runs in a session of its own.
TEST(Programs, AProgramThatEndsBeforeBlockingIsNeitherWaitedForNorKilledAround) {
    test::WorkFolder empty;
    pid_t checker = ::fork();
    if (checker == 0) {
        ::setsid();
        test::Blocked child(kUnpack, empty.path());
        bool blocked = child.waitUntilBlocked();
        child.kill();
        ::_exit(blocked ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(checker, &status, 0), checker);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace zrk
