#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zrk::test {

struct ProgramResult {
    int exitCode = -1;
    std::string standardOutput;
    std::string standardError;
};

// Runs `program` with `arguments` in `workFolder` and collects what it wrote.
ProgramResult runProgram(const std::filesystem::path& program,
                         const std::filesystem::path& workFolder,
                         const std::vector<std::string>& arguments = {});

}  // namespace zrk::test
