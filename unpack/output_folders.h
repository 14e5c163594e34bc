#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "folder.h"

namespace zrk {

// The Output folder and the folders below it that entry files go into.
//
// Folders are found or made one level at a time from Output down, and a level
// below Output that is a symbolic link (or, on Windows, a junction) is never
// passed through: it may lead anywhere, and nothing of an entry may land
// outside Output. Output itself may be a link; where it lies is the user's
// choice. Folders found ready are held open, a bounded number of them, so
// that each is walked once per run.
class OutputFolders {
public:
    // Makes Output when it is missing.
    explicit OutputFolders(const Folder& workFolder);

    // Output; nothing when it could not be had.
    const Folder* output() const;

    // True when the folder of `relative`, a file's native path below Output,
    // is there or was made: every missing level is made from the top down,
    // and the walk stops at the first level that cannot be made or is a file
    // or a link, keeping the levels made above it.
    bool ensureFolderFor(std::string_view relative);

private:
    std::optional<Folder> output_;
    std::unordered_map<std::string, Folder> held_;  // by path below Output
};

}  // namespace zrk
