#include "work_folder.h"

#include <filesystem>

#include "errors.h"

namespace zrk {

Folder openCurrentFolder() {
    return Folder::open(std::filesystem::current_path());
}

LockedFolder openWorkFolder() {
    Folder folder = openCurrentFolder();
    std::optional<OsHandle> lock = folder.lock();
    if (!lock) {
        throw ToolError("Output is in use by another Unpack or Repack");
    }
    return {std::move(folder), std::move(*lock)};
}

}  // namespace zrk
