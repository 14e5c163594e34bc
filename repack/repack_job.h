#pragma once

#include "folder.h"
#include "tool_window.h"

namespace zrk {

// Builds "ZRK.NEW" in the work folder from the manifest and
// the files in Output. An earlier "ZRK.NEW" is deleted first; a missing
// manifest is logged and ends the run with nothing written. A bad manifest
// raises ToolError before "ZRK.NEW" is created.
void runRepack(ToolWindow& window, const Folder& workFolder);

}  // namespace zrk
