#pragma once

#include <string>

namespace zrk {

// The system's own words for the calling thread's last error, without the
// trailing line end, e.g. "The system cannot find the file specified.".
std::string lastErrorText();

// Raises ToolError reading "<what> <path>: <the system's words>", taking the
// last error as it stands when called.
[[noreturn]] void failWithLastError(const std::string& what, const std::string& path);

}  // namespace zrk
