#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A built program run as a child process, as a user runs it. Linux only.
namespace zrk::test {

// How a child starts, besides its arguments.
enum ChildFlags : unsigned {
    kOnePageLog = 1,  // its standard output into a pipe of one page
    kAsNobody = 2,    // without root's power to read anything, where the test has it
};

class Child {
public:
    // `closedStream`: a standard stream (0, 1 or 2) the child starts without.
    Child(const std::string& program, const std::string& folder,
          const std::vector<std::string>& args = {}, int closedStream = -1, unsigned flags = 0);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // True once the child sits in a write to its full log pipe; false when it
    // ended first or did not get there within ten seconds.
    bool waitUntilBlocked();
    // Reaps the child and reads what it wrote: its exit code, or 128 and the
    // signal that ended it. The child's output must fit its pipes.
    int finish();
    // Kills the child while it is still unreaped and ours, and reaps it.
    void kill();

    std::string out;
    std::string err;

private:
    pid_t pid_ = -1;  // positive while the child is unreaped
    int exitCode_ = -1;
    int pipes_[2] = {-1, -1};  // the child's standard output and error
};

// Makes openat2 fail with ENOSYS for this process from here on, as a kernel
// without it does. False when the system takes no such filter.
bool refuseOpenat2();

struct ChildResult {
    int exitCode;
    std::string out;
    std::string err;
};
ChildResult runChild(const std::string& program, const std::string& folder,
                     const std::vector<std::string>& args = {}, int closedStream = -1,
                     unsigned flags = 0);

}  // namespace zrk::test
