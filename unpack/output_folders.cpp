#include "output_folders.h"

#include "work_files.h"

namespace zrk {

namespace {

// Few archives use more folders; one that does is walked again, not held
// with a handle per folder.
constexpr std::size_t kMostHeld = 256;

}  // namespace

OutputFolders::OutputFolders(const Folder& workFolder)
    : output_(workFolder.makeChild(kOutputFolderName, true)) {}

const Folder* OutputFolders::output() const {
    return output_ ? &*output_ : nullptr;
}

bool OutputFolders::ensureFolderFor(std::string_view relative) {
    const Folder* current = output();
    std::size_t end = relative.find_last_of("/\\");
    if (current == nullptr || end == std::string_view::npos) {
        return current != nullptr;
    }
    std::string folder(relative.substr(0, end));
    if (held_.contains(folder)) {
        return true;
    }
    if (held_.size() >= kMostHeld) {
        held_.clear();
    }
    for (std::size_t start = 0; start <= folder.size();) {
        std::size_t cut = std::min(folder.find_first_of("/\\", start), folder.size());
        std::string_view part = std::string_view(folder).substr(start, cut - start);
        if (!part.empty() && part != ".") {
            std::string levels = folder.substr(0, cut);
            auto found = held_.find(levels);
            if (found == held_.end()) {
                std::optional<Folder> next = current->makeChild(part, false);
                if (!next) {
                    return false;
                }
                found = held_.emplace(std::move(levels), std::move(*next)).first;
            }
            current = &found->second;
        }
        start = cut + 1;
    }
    return true;
}

}  // namespace zrk
