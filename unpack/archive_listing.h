#pragma once

#include "folder.h"
#include "tool_window.h"

namespace zrk {

// Unpack's listing (unpack -t): a line per entry of ZRK.DAT in the work
// folder, in directory order, with its data length, declared length and name
// as the log shows names. It only reads. A damaged archive raises the errors
// Unpack raises, after the lines of the entries before the damage; a folder
// without ZRK.DAT is reported as one with nothing to work on.
JobReport listArchive(ToolWindow& window, const Folder& workFolder);

}  // namespace zrk
