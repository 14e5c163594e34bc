#pragma once

#include "folder.h"

namespace zrk {

// The folder a run works in, and the lock that keeps other runs out of it for
// as long as it is held.
struct LockedFolder {
    Folder folder;
    OsHandle lock;
};

// Opens the current folder and takes its lock. A folder that another Unpack
// or Repack works in raises ToolError before anything is read, written or
// deleted.
LockedFolder openWorkFolder();

}  // namespace zrk
