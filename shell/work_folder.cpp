#include "work_folder.h"

#include "errors.h"

namespace zrk {

OsHandle lockForTheRun(const Folder& folder) {
    std::optional<OsHandle> lock = folder.lock();
    if (!lock) {
        throw ToolError("Output is in use by another Unpack or Repack");
    }
    return std::move(*lock);
}

LockedFolder openWorkFolder() {
    Folder folder = Folder::openCurrent();
    OsHandle lock = lockForTheRun(folder);
    return {std::move(folder), std::move(lock)};
}

}  // namespace zrk
