#pragma once

#include <string>
#include <vector>

// The built programs run as child processes, as a user runs them. Linux only.
namespace zrk::test {

enum ChildFlags : unsigned {
    kOnePageLog = 1,  // standard output into a pipe of one page
    kAsNobody = 2,    // without root's power to read anything, where the test has it
};

struct Ran {
    int exitCode = -1;  // or 128 and the signal that ended it
    std::string out;
    std::string err;
};

// Runs `program` in `folder` to its end; `closed` is a standard stream (0, 1
// or 2) it starts without. Its output must fit its pipes.
Ran run(const std::string& program, const std::string& folder,
        const std::vector<std::string>& args = {}, int closed = -1, unsigned flags = 0);

// A program whose log goes into a pipe of one page that is not read.
class Blocked {
public:
    Blocked(const std::string& program, const std::string& folder);
    ~Blocked() { kill(); }

    // True once the child sits in a write to its full log pipe; false when it
    // ended first or did not get there within ten seconds.
    bool waitUntilBlocked();
    // Kills the child while it is still unreaped and ours; what it wrote.
    Ran kill();

private:
    int pid_ = -1;  // positive while the child is unreaped
    int pipes_[2] = {-1, -1};
};

}  // namespace zrk::test
