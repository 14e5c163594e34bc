#include "folder_creation.h"

#include "file_system.h"

namespace zrk {

namespace {

std::string folderOf(const std::string& filePath) {
    std::size_t cut = lastFolderSeparator(filePath);
    return cut == std::string::npos ? filePath : filePath.substr(0, cut + 1);
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
