#pragma once

#include <string>
#include <string_view>

#include "entry_names.h"

namespace zrk {

// Paths here are the platform's own text: UTF-8 with '/' on Linux, ANSI with
// '\' on Windows.

// The current directory, ending in a folder separator.
std::string currentWorkDir();

// A path in the archive's form (backslashes, and slashes too, separate
// folders; text in the ANSI code page) as a relative path of this platform.
std::string nativeRelativePath(std::string_view ansiPath);

// The name rules of the system the programs run on.
NameRules hostNameRules();

}  // namespace zrk
