#include "program_runner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <stdexcept>

#include "test_support.h"

namespace zrk::test {

namespace {

// The text in single quotes for the shell.
std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

ProgramResult runProgram(const std::filesystem::path& program,
                         const std::filesystem::path& workFolder) {
    // The captured output lives beside the work folder, not in it.
    TempFolder captures;
    std::filesystem::path out = captures.path() / "stdout";
    std::filesystem::path err = captures.path() / "stderr";
    std::string command = "cd " + shellQuoted(workFolder.string()) + " && " +
                          shellQuoted(program.string()) + " >" + shellQuoted(out.string()) + " 2>" +
                          shellQuoted(err.string()) + " </dev/null";
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        throw std::runtime_error("cannot run " + program.string());
    }
    return {WEXITSTATUS(status), readFileText(out), readFileText(err)};
}

}  // namespace zrk::test
