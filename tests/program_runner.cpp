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
                         const std::filesystem::path& workFolder,
                         const std::vector<std::string>& arguments) {
    // The captured output lives beside the work folder, not in it.
    TempFolder captures;
    std::filesystem::path out = captures.path() / "stdout";
    std::filesystem::path err = captures.path() / "stderr";
    std::string command = "cd " + shellQuoted(workFolder.string());
    command.append(" && ").append(shellQuoted(program.string()));
    for (const std::string& argument : arguments) {
        command.append(" ").append(shellQuoted(argument));
    }
    command.append(" >").append(shellQuoted(out.string()));
    command.append(" 2>").append(shellQuoted(err.string())).append(" </dev/null");
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        throw std::runtime_error("cannot run " + program.string());
    }
    return {WEXITSTATUS(status), readFileText(out), readFileText(err)};
}

}  // namespace zrk::test
