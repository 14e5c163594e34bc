#pragma once

#include <cstdint>
#include <vector>

#include "archive_format.h"
#include "manifest.h"
#include "tool_window.h"

namespace zrk {

// What the directory's 19-byte name field makes of the manifest's names: a
// longer name is stored cut, and two names may so become one, of which
// unpacking keeps a single file. The archive still holds every entry, so
// these are warnings, not errors.
class StoredNames {
public:
    // For at most `entries` entries.
    explicit StoredNames(std::size_t entries) { lines_.reserve(entries); }

    // Warns, naming the line, when its name is stored cut; the line is the
    // next entry's.
    void add(const ManifestLine& line, ToolWindow& window);

    // Warns, in the order of the lines, of each entry stored under the name
    // of an earlier one. `entries` are the entries added, in the same order.
    void warnOfSharedNames(const std::vector<ArchiveEntry>& entries, ToolWindow& window) const;

private:
    std::vector<std::int64_t> lines_;  // each entry's line: a few bytes an entry
};

}  // namespace zrk
