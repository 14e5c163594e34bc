#include "work_folder.h"

#include "errors.h"

namespace zrk {

LockedFolder openWorkFolder() {
    Folder folder = Folder::openCurrent();
    std::optional<OsHandle> lock = folder.lock();
    if (!lock) {
        throw ToolError("Output is in use by another Unpack or Repack");
    }
    return {std::move(folder), std::move(*lock)};
}

}  // namespace zrk
