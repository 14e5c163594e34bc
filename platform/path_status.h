#pragma once

#include <cstdint>

namespace zrk {

// What a path stands for. `Link` is a symbolic link (on Windows a reparse
// point that sends a name elsewhere, such as a junction), seen only where
// links are not followed.
enum class PathKind { Missing, Folder, File, Link, Other };

// Which file an item is, whatever its name: two names of one file (hard
// links) have the same identity.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t high = 0;  // Windows' file identities take 128 bits
    std::uint64_t low = 0;

    bool operator==(const FileId&) const = default;
};

struct PathStatus {
    PathKind kind = PathKind::Missing;
    std::int64_t size = 0;  // of a file
    bool hidden = false;    // on Windows, marked hidden or system
    FileId id;

    // A plain file that is there and counts: hidden and system files do not.
    bool isVisibleFile() const { return kind == PathKind::File && !hidden; }
};

}  // namespace zrk
