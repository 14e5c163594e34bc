#pragma once

#include <optional>
#include <string>

#include "tool_window.h"

namespace zrk {

// The exit code for a command line the program does not take.
inline constexpr int kBadCommandLine = 2;

// The command's name: the caption in lower case ("unpack").
std::string commandName(const ToolProgram& program);

// What the command line asks of the program.
struct ConsoleRequest {
    std::optional<int> exitCode;  // set when the program is to end at once
    bool listing = false;         // -t: the program's listing instead of its job
};

// Reads a console program's command line by the usual Linux conventions
// (getopt_long): -h/--help and --version answer on standard output, -C DIR or
// --directory DIR makes DIR the current folder, -t/--list (where the program
// has a listing) asks for the listing, and anything else is reported on
// standard error with the usage line. Nothing is read or written when the
// program is to end at once.
ConsoleRequest applyConsoleOptions(const ToolProgram& program, int argc, char** argv);

}  // namespace zrk
