#include "work_folder.h"

#include <filesystem>

#include "errors.h"

namespace zrk {

Folder openWorkFolder() {
    Folder folder = Folder::open(std::filesystem::current_path());
    if (!folder.tryLock()) {
        throw ToolError("Output is in use by another Unpack or Repack");
    }
    return folder;
}

}  // namespace zrk
