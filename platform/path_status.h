#pragma once

#include <cstdint>

namespace zrk {

// What a path stands for. `Link` is a symbolic link (on Windows any reparse
// point, such as a junction), seen only where links are not followed.
enum class PathKind { Missing, Folder, File, Link, Other };

struct PathStatus {
    PathKind kind = PathKind::Missing;
    std::int64_t size = 0;  // of a file
    bool hidden = false;    // on Windows, marked hidden or system

    // A plain file that is there and counts: hidden and system files do not.
    bool isVisibleFile() const { return kind == PathKind::File && !hidden; }
};

}  // namespace zrk
