#pragma once

#include "folder.h"
#include "tool_window.h"

namespace zrk {

// The whole work of the Unpack program: every entry of "ZRK.DAT" in the work
// folder becomes a file in its Output folder, listed in order in Output's
// manifest. The report counts the entries (and the manifest) that their
// places could not take.
JobReport runUnpack(ToolWindow& window, const Folder& workFolder);

}  // namespace zrk
