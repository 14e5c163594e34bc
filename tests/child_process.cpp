#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <thread>
#include <utility>

namespace zrk::test {

namespace {

// Starts the child with its standard output and error in the two pipes.
int spawn(const std::string& program, const std::string& folder,
          const std::vector<std::string>& args, int closed, unsigned flags, int pipes[2]) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        return -1;
    }
    ::fcntl(out[0], F_SETPIPE_SZ, (flags & kOnePageLog) != 0 ? 4096 : 1 << 20);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int pid = ::fork();
    if (pid == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(closed);
        bool dropped = (flags & kAsNobody) == 0 || ::geteuid() != 0 ||
                       (::setgid(65534) == 0 && ::setuid(65534) == 0);
        if (dropped && ::chdir(folder.c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    pipes[0] = out[0];
    pipes[1] = err[0];
    return pid;
}

// Reaps the child and reads what it wrote.
Ran collect(int& pid, int pipes[2]) {
    Ran ran;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        ran.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid = -1;
    char buffer[4096];
    for (std::string* text : {&ran.out, &ran.err}) {
        int& pipe = pipes[text == &ran.out ? 0 : 1];
        for (ssize_t got; (got = ::read(pipe, buffer, sizeof buffer)) > 0;) {
            text->append(buffer, static_cast<std::size_t>(got));
        }
        ::close(std::exchange(pipe, -1));
    }
    return ran;
}

}  // namespace

Ran run(const std::string& program, const std::string& folder, const std::vector<std::string>& args,
        int closed, unsigned flags) {
    int pipes[2];
    int pid = spawn(program, folder, args, closed, flags, pipes);
    return collect(pid, pipes);
}

Blocked::Blocked(const std::string& program, const std::string& folder) {
    pid_ = spawn(program, folder, {}, -1, kOnePageLog, pipes_);
}

bool Blocked::waitUntilBlocked() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int status = 0; pid_ > 0 && std::chrono::steady_clock::now() < deadline;) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // ended: nothing left to kill
            return false;
        }
        // Asleep in a write to a pipe that holds unread bytes.
        int pending = 0;
        ::ioctl(pipes_[0], FIONREAD, &pending);
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text(std::istreambuf_iterator<char>(stat), {});
        std::ifstream wchan("/proc/" + std::to_string(pid_) + "/wchan");
        std::string where(std::istreambuf_iterator<char>(wchan), {});
        if (pending > 0 && text.find(") S ") != text.npos &&
            (where.empty() || where == "0" || where.find("pipe_write") != where.npos)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

Ran Blocked::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
    }
    return collect(pid_, pipes_);
}

}  // namespace zrk::test
