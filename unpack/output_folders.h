#pragma once

#include <string>
#include <unordered_set>

namespace zrk {

// Makes the folders that entry files go into, below the Output folder, and
// remembers the ones that are ready so that each is checked once per run.
//
// A level below Output that is a symbolic link (or, on Windows, a junction) is
// never passed through: it may lead anywhere, and nothing of an entry may land
// outside Output. Output itself may be a link; where it lies is the user's
// choice.
class OutputFolders {
public:
    // `outputFolder`: the Output folder's native path, ending in a separator.
    explicit OutputFolders(std::string outputFolder);

    // True when the folder of `target`, a native path below Output, exists or
    // was made (through ensureFolderFor) without passing through a link.
    bool prepareFolderFor(const std::string& target);

private:
    bool passesThroughLink(const std::string& folder) const;

    std::string outputFolder_;
    std::unordered_set<std::string> ready_;
};

}  // namespace zrk
