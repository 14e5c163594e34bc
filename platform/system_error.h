#pragma once

#include <cstdint>
#include <string>

namespace zrk {

// The system's own words for an error code (errno, or a Windows error code),
// e.g. "Permission denied".
std::string systemErrorText(std::uint32_t code);

// The calling thread's last error code (errno, or GetLastError on Windows).
std::uint32_t lastErrorCode();

// Raises ToolError reading "<what> <path>: <the system's words>".
[[noreturn]] void failWithError(const std::string& what, const std::string& path,
                                std::uint32_t code);

// failWithError for the last error as it stands when called.
[[noreturn]] void failWithLastError(const std::string& what, const std::string& path);

}  // namespace zrk
