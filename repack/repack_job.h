#pragma once

#include "folder.h"
#include "tool_window.h"

namespace zrk {

// Builds "ZRK.NEW" in the work folder from the manifest and the files in
// Output, whole or not at all: an earlier "ZRK.NEW" is deleted first, and the
// new one takes its name only once it is complete and on the device. A missing
// manifest is logged and ends the run with nothing written. A bad manifest
// raises ToolError before anything is written.
JobReport runRepack(ToolWindow& window, const Folder& workFolder);

}  // namespace zrk
