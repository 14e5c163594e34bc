#include "child_process.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace zrk::test {

bool refuseOpenat2() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

Child::Child(const std::string& program, const std::string& folder,
             const std::vector<std::string>& args, int closedStream, unsigned flags) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make pipes");
    }
    if ((flags & kOnePageLog) != 0) {
        ::fcntl(out[0], F_SETPIPE_SZ, 4096);
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(closedStream);
        bool dropped = (flags & kAsNobody) == 0 || ::geteuid() != 0 ||
                       (::setgid(65534) == 0 && ::setuid(65534) == 0);
        if (dropped && ::chdir(folder.c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    pipes_[0] = out[0];
    pipes_[1] = err[0];
}

Child::~Child() {
    kill();
    ::close(pipes_[0]);
    ::close(pipes_[1]);
}

bool Child::waitUntilBlocked() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // ended: nothing left to kill
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        // Asleep in a write to a pipe that holds unread bytes.
        int pending = 0;
        ::ioctl(pipes_[0], FIONREAD, &pending);
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text(std::istreambuf_iterator<char>(stat), {});
        std::ifstream wchan("/proc/" + std::to_string(pid_) + "/wchan");
        std::string where(std::istreambuf_iterator<char>(wchan), {});
        std::size_t close = text.rfind(") ");
        if (pending > 0 && close != text.npos && text.substr(close + 2, 1) == "S" &&
            (where.empty() || where == "0" || where.find("pipe_write") != where.npos)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

int Child::finish() {
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
        pid_ = -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    char buffer[4096];
    for (int stream : {0, 1}) {
        for (ssize_t got; (got = ::read(pipes_[stream], buffer, sizeof buffer)) > 0;) {
            (stream == 0 ? out : err).append(buffer, static_cast<std::size_t>(got));
        }
    }
    return exitCode_;
}

void Child::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        finish();
    }
}

ChildResult runChild(const std::string& program, const std::string& folder,
                     const std::vector<std::string>& args, int closedStream, unsigned flags) {
    Child child(program, folder, args, closedStream, flags);
    int exitCode = child.finish();
    return {exitCode, child.out, child.err};
}

}  // namespace zrk::test
