#pragma once

#include "folder.h"

namespace zrk {

// The folder a run works in, and the lock that keeps other runs out of it for
// as long as it is held.
struct LockedFolder {
    Folder folder;
    OsHandle lock;
};

// Takes the lock of a folder a run works in (see Folder::lock), held as long
// as the handle it gives. A folder that another Unpack or Repack works in
// raises ToolError. Runs lock Output too, once they have opened it: two work
// folders may share one Output through a link.
OsHandle lockForTheRun(const Folder& folder);

// Opens the current folder and takes its lock. A folder that another Unpack
// or Repack works in raises ToolError before anything is read, written or
// deleted.
LockedFolder openWorkFolder();

}  // namespace zrk
