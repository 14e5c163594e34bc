#include "output_folders.h"

#include "file_system.h"
#include "folder_creation.h"

namespace zrk {

namespace {

// The path up to and including its last separator.
std::string folderPart(const std::string& path) {
    std::size_t cut = lastFolderSeparator(path);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

OutputFolders::OutputFolders(std::string outputFolder) : outputFolder_(std::move(outputFolder)) {}

bool OutputFolders::prepareFolderFor(const std::string& target) {
    std::string folder = folderPart(target);
    if (ready_.contains(folder)) {
        return true;
    }
    if (passesThroughLink(folder) || !ensureFolderFor(target)) {
        return false;
    }
    ready_.insert(std::move(folder));
    return true;
}

// Looks at the levels below Output from the top down, up to the first one that
// is not an existing folder: the missing ones are made fresh, and a file in the
// way makes ensureFolderFor say no.
bool OutputFolders::passesThroughLink(const std::string& folder) const {
    for (std::size_t at = outputFolder_.size(); at < folder.size(); ++at) {
        if (!isFolderSeparator(folder[at]) || isFolderSeparator(folder[at - 1])) {
            continue;
        }
        // Without its trailing separator, so that a link at its end is not followed.
        PathKind kind = pathKind(folder.substr(0, at));
        if (kind == PathKind::Link) {
            return true;
        }
        if (kind != PathKind::Folder) {
            return false;
        }
    }
    return false;
}

}  // namespace zrk
