#pragma once

#include "folder.h"

namespace zrk {

// Opens the current folder, where both programs work, and takes the lock that
// keeps runs apart. A folder that another Unpack or Repack works in raises
// ToolError before anything is read, written or deleted.
Folder openWorkFolder();

}  // namespace zrk
