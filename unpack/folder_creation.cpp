#include "folder_creation.h"

#include "file_system.h"

namespace zrk {

namespace {

std::string folderOf(const std::string& filePath) {
    for (std::size_t i = filePath.size(); i-- > 0;) {
        if (isFolderSeparator(filePath[i])) {
            return filePath.substr(0, i + 1);
        }
    }
    return filePath;
}

}  // namespace

bool ensureFolderFor(const std::string& filePath) {
    std::string folder = folderOf(filePath);
    if (folderExists(folder)) {
        return true;
    }
    FolderRoute route = folderRoute(folder);
    if (!route.rootUsable || route.parts.empty()) {
        return false;
    }
    std::string current = route.root;
    for (const std::string& part : route.parts) {
        current = joinPath(current, part);
        if (!folderExists(current) && !makeFolder(current)) {
            return false;
        }
    }
    return true;
}

}  // namespace zrk
