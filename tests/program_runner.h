#pragma once

#include <filesystem>
#include <string>

namespace zrk::test {

struct ProgramResult {
    int exitCode = -1;
    std::string standardOutput;
    std::string standardError;
};

// Runs `program` without arguments in `workFolder` and collects what it wrote.
ProgramResult runProgram(const std::filesystem::path& program,
                         const std::filesystem::path& workFolder);

}  // namespace zrk::test
