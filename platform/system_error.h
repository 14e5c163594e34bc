#pragma once

#include <string>

namespace zrk {

// The system's own words for the calling thread's last error (errno, or
// GetLastError on Windows), e.g. "Permission denied".
std::string lastErrorText();

// Raises ToolError reading "<what> <path>: <the system's words>", taking the
// last error as it stands when called.
[[noreturn]] void failWithLastError(const std::string& what, const std::string& path);

}  // namespace zrk
