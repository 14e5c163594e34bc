#pragma once

#include <string>

#include "tool_window.h"

namespace zrk {

// The whole work of the Unpack program: every entry of "ZRK.DAT" in `workDir`
// (ending in a separator) becomes a file in its Output folder, listed in order
// in Output's manifest.
void runUnpack(ToolWindow& window, const std::string& workDir);

}  // namespace zrk
