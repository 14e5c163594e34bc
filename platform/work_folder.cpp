#include "work_folder.h"

#include "errors.h"

namespace zrk {

Folder openWorkFolder(const std::string& workDir) {
    Folder folder = Folder::open(workDir);
    if (!folder.tryLock()) {
        throw ToolError("Output is in use by another Unpack or Repack");
    }
    return folder;
}

}  // namespace zrk
