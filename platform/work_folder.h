#pragma once

#include <string>

#include "folder.h"

namespace zrk {

// Opens the work folder for a run of either program and takes its lock; a
// folder that another Unpack or Repack works in raises ToolError before
// anything is read, written or deleted.
Folder openWorkFolder(const std::string& workDir);

}  // namespace zrk
