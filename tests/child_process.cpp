#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zrk::test {

namespace {

constexpr int kPage = 4096;

std::string procText(pid_t pid, const char* file) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

Child::Child(const std::string& program, const std::string& folder, const ChildOptions& options) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make pipes");
    }
    if (options.onePageLog) {
        ::fcntl(outPipe[0], F_SETPIPE_SZ, kPage);
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : options.args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        if (options.closedStream >= 0) {
            ::close(options.closedStream);
        }
        if (options.asNobody && ::geteuid() == 0 &&
            (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(126);
        }
        if (::chdir(folder.c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (pid_ < 0) {
        throw std::runtime_error("cannot start " + program);
    }
}

Child::~Child() {
    kill();
    ::close(out_);
    ::close(err_);
}

void Child::reap(int options) {
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, options) == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
    }
}

bool Child::waitUntilBlocked() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        reap(WNOHANG);
        if (pid_ <= 0) {
            return false;
        }
        int pending = 0;
        ::ioctl(out_, FIONREAD, &pending);
        std::string stat = procText(pid_, "stat");
        std::size_t close = stat.rfind(')');
        bool asleep =
            close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
        std::string wchan = procText(pid_, "wchan");
        if (pending > 0 && asleep &&
            (wchan.empty() || wchan == "0" || wchan.find("pipe_write") != std::string::npos)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

int Child::finish() {
    pollfd streams[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    std::string* texts[2] = {&out, &err};
    for (int open = 2; open > 0;) {
        ::poll(streams, 2, -1);
        for (int i = 0; i < 2; ++i) {
            char buffer[kPage];
            ssize_t got =
                streams[i].revents != 0 ? ::read(streams[i].fd, buffer, sizeof buffer) : 0;
            if (got > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (streams[i].revents != 0) {
                streams[i].fd = -1;  // poll skips it from now on
                --open;
            }
        }
    }
    reap(0);
    return exitCode_;
}

void Child::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(0);
    }
}

ChildResult runChild(const std::string& program, const std::string& folder,
                     const ChildOptions& options) {
    Child child(program, folder, options);
    int exitCode = child.finish();
    return {exitCode, child.out, child.err};
}

}  // namespace zrk::test
