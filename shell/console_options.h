#pragma once

#include <optional>
#include <string>

#include "tool_window.h"

namespace zrk {

// The exit code for a command line the program does not take.
inline constexpr int kBadCommandLine = 2;

// The command's name: the caption in lower case ("unpack").
std::string commandName(const ToolProgram& program);

// Reads a console program's command line by the usual Linux conventions
// (getopt_long): -h/--help and --version answer on standard output, -C DIR or
// --directory DIR makes DIR the current folder, and anything else is reported
// on standard error with the usage line. Returns the exit code when the program
// is to end at once, or nothing when the job is to run. Nothing is read or
// written when it ends here.
std::optional<int> applyConsoleOptions(const ToolProgram& program, int argc, char** argv);

}  // namespace zrk
