#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A built program run as a child process, as a user runs it. Linux only.
namespace zrk::test {

struct ChildOptions {
    std::vector<std::string> args;
    int closedStream = -1;    // a standard stream to close for the child (0, 1 or 2)
    bool onePageLog = false;  // standard output into a pipe of one page
    bool asNobody = false;    // without root's power to read anything, where the test has it
};

inline ChildOptions closing(int stream) {
    ChildOptions options;
    options.closedStream = stream;
    return options;
}
inline ChildOptions onAOnePageLog() {
    ChildOptions options;
    options.onePageLog = true;
    return options;
}
inline ChildOptions withArgs(std::vector<std::string> args) {
    ChildOptions options;
    options.args = std::move(args);
    return options;
}
inline ChildOptions asNobody() {
    ChildOptions options;
    options.asNobody = true;
    return options;
}

class Child {
public:
    Child(const std::string& program, const std::string& folder,
          const ChildOptions& options = ChildOptions());
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // True once the child sits in a write to its full log pipe; false when it
    // ended first or did not get there within ten seconds.
    bool waitUntilBlocked();
    // Reads standard output and error to their end and reaps the child: its
    // exit code, or 128 and the signal that ended it.
    int finish();
    // Kills the child while it is still unreaped and ours, and reaps it.
    void kill();

    std::string out;
    std::string err;

private:
    void reap(int options);

    pid_t pid_ = -1;  // positive while the child is unreaped
    int exitCode_ = -1;
    int out_ = -1;
    int err_ = -1;
};

struct ChildResult {
    int exitCode;
    std::string out;
    std::string err;
};
ChildResult runChild(const std::string& program, const std::string& folder,
                     const ChildOptions& options = ChildOptions());

}  // namespace zrk::test
