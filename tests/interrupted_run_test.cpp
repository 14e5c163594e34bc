// Kills the built programs (SIGKILL) in the middle of a run and checks what they
// leave: a complete manifest, entry files that are whole or cut short but never
// wrong, a new archive that is a start of the right one, and a second run that
// gives what an uninterrupted one gives.
//
// Each program's log goes into a pipe of one page that the test does not read,
// so the program stops, deterministically, at the first log line that no longer
// fits; it is killed there. Linux only: pipe sizes and /proc.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "archive_builder.h"
#include "program_runner.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::Bytes;

constexpr int kPipePage = 4096;
constexpr auto kPatience = std::chrono::seconds(10);

std::string readText(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return {};
    }
    char buffer[256] = {};
    std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    return std::string(buffer, got);
}

// A program run in a folder with its standard output in a one-page pipe.
class PipedProgram {
public:
    PipedProgram(const fs::path& program, const fs::path& folder) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            throw std::runtime_error("cannot make a pipe");
        }
        read_ = ends[0];
        capacity_ = ::fcntl(read_, F_SETPIPE_SZ, kPipePage);
        pid_ = ::fork();
        if (pid_ == 0) {
            int quiet = ::open("/dev/null", O_RDWR);
            ::dup2(quiet, STDIN_FILENO);
            ::dup2(ends[1], STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            if (::chdir(folder.c_str()) == 0) {
                ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            }
            ::_exit(127);
        }
        ::close(ends[1]);
    }
    ~PipedProgram() {
        if (pid_ > 0) {
            killAndReap();
        }
        ::close(read_);
    }
    PipedProgram(const PipedProgram&) = delete;
    PipedProgram& operator=(const PipedProgram&) = delete;

    int capacity() const { return capacity_; }

    // True once the program sits in a write to the full pipe; false when it
    // ended first or did not get there in time.
    bool waitUntilBlocked() {
        auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return false;
            }
            if (pending() > 0 && isBlockedWriting()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Kills the program and gives the log lines it got out before.
    std::vector<std::string> killAndCollectLog() {
        killAndReap();
        std::string text(static_cast<std::size_t>(pending()), '\0');
        ssize_t got = ::read(read_, text.data(), text.size());
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        std::vector<std::string> lines;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

private:
    int pending() const {
        int bytes = 0;
        ::ioctl(read_, FIONREAD, &bytes);
        return bytes;
    }

    // Asleep, and where the kernel says so, asleep in a pipe write.
    bool isBlockedWriting() const {
        std::string proc = "/proc/" + std::to_string(pid_);
        std::string stat = readText(proc + "/stat");
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'S') {
            return false;
        }
        std::string wchan = readText(proc + "/wchan");
        return wchan.empty() || wchan == "0" || wchan.find("pipe_write") != std::string::npos;
    }

    void killAndReap() {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
    }

    int read_ = -1;
    int capacity_ = 0;
    pid_t pid_ = 0;
};

// A few MB: hundreds of small entries in subfolders and a few of 512 KiB, so
// that the one-page log fills while entries remain.
ArchiveBuilder workload() {
    ArchiveBuilder builder;
    for (int i = 0; i < 400; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "D%d\\F%03d.%s", i % 7, i, i % 2 == 0 ? "PCM" : "BIN");
        std::size_t length = i % 50 == 7 ? 512 * 1024 : 100 + static_cast<std::size_t>(i) * 13;
        std::optional<std::int32_t> declared;  // a PCM entry's is its length
        if (i % 2 != 0) {
            declared = i;
        }
        builder.add(name, test::patternBytes(length, static_cast<std::uint32_t>(i)), {}, declared);
    }
    return builder;
}

std::vector<std::pair<std::string, Bytes>> outputOf(const test::TempFolder& folder) {
    return test::snapshotTree(folder.path() / "Output");
}

class InterruptedRun : public ::testing::Test {
protected:
    InterruptedRun() : builder_(workload()), archive_(builder_.build()) {
        test::writeFileBytes(whole_.path() / "ZRK.DAT", archive_);
        EXPECT_EQ(test::runProgram(UNPACK_PROGRAM, whole_.path()).exitCode, 0);
    }

    // Runs `program` in `folder` until it blocks on its log, kills it and gives
    // the log it wrote.
    std::vector<std::string> interrupt(const char* program, const test::TempFolder& folder) {
        PipedProgram running(program, folder.path());
        EXPECT_LE(running.capacity(), kPipePage * 2);
        EXPECT_TRUE(running.waitUntilBlocked()) << program << " did not stop on its log";
        return running.killAndCollectLog();
    }

    ArchiveBuilder builder_;
    Bytes archive_;
    test::TempFolder whole_;  // an uninterrupted Unpack
    test::TempFolder work_;
};

TEST_F(InterruptedRun, UnpackLeavesWholeOrCutFilesAndASecondRunFinishes) {
    test::writeFileBytes(work_.path() / "ZRK.DAT", archive_);
    std::vector<std::string> log = interrupt(UNPACK_PROGRAM, work_);

    // The last line names the last entry begun; it was written whole before
    // the program stopped on the next line.
    std::vector<ArchiveEntry> entries = builder_.entries();
    ASSERT_GE(log.size(), 3u);
    std::size_t begun = log.size() - 2;
    ASSERT_LT(begun, entries.size()) << "the run was not stopped midway";
    EXPECT_EQ(log.back(), "Unpacking " + entries[begun - 1].name + "...");

    fs::path output = work_.path() / "Output";
    EXPECT_EQ(test::readFileBytes(output / "manifest.txt"),
              test::readFileBytes(whole_.path() / "Output" / "manifest.txt"));
    for (std::size_t k = 0; k < entries.size(); ++k) {
        std::string relative = entries[k].name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        if (!fs::exists(output / relative)) {
            EXPECT_GE(k, begun) << relative << " missing";
            continue;
        }
        Bytes got = test::readFileBytes(output / relative);
        auto start = archive_.begin() + entries[k].dataOffset - 1;
        Bytes data(start, start + entries[k].dataLength);
        EXPECT_LE(got.size(), data.size()) << relative;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin())) << relative;
        EXPECT_EQ(got.size() == data.size(), k < begun) << relative;
    }

    EXPECT_EQ(test::runProgram(UNPACK_PROGRAM, work_.path()).exitCode, 0);
    EXPECT_EQ(outputOf(work_), outputOf(whole_));
}

TEST_F(InterruptedRun, RepackLeavesAStartOfTheArchiveAndTheNextRunReplacesIt) {
    fs::copy(whole_.path() / "Output", work_.path() / "Output", fs::copy_options::recursive);
    // An older, longer ZRK.NEW, none of which may survive.
    test::writeFileBytes(work_.path() / "ZRK.NEW", Bytes(archive_.size() + 1000, 0xEE));
    std::vector<std::string> log = interrupt(REPACK_PROGRAM, work_);

    std::vector<ArchiveEntry> entries = builder_.entries();
    ASSERT_GE(log.size(), 3u);
    std::size_t begun = log.size() - 2;
    ASSERT_LT(begun, entries.size()) << "the run was not stopped midway";
    EXPECT_EQ(log.back(), "Repacking " + entries[begun - 1].name + "...");

    // A start of the archive: header, directory and the data of every entry
    // logged, as the program was stopped logging the next one.
    Bytes partial = test::readFileBytes(work_.path() / "ZRK.NEW");
    EXPECT_EQ(partial.size(), static_cast<std::size_t>(entries[begun].dataOffset) - 1);
    ASSERT_LE(partial.size(), archive_.size());
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), archive_.begin()));

    EXPECT_EQ(test::runProgram(REPACK_PROGRAM, work_.path()).exitCode, 0);
    EXPECT_EQ(test::readFileBytes(work_.path() / "ZRK.NEW"), archive_);
    EXPECT_EQ(outputOf(work_), outputOf(whole_));
}

}  // namespace
}  // namespace zrk
