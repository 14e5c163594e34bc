#pragma once

#include <vector>

#include "archive_format.h"
#include "folder.h"
#include "relative_path.h"
#include "tool_window.h"

namespace zrk {

// The new archive's directory, and which file each entry's bytes were
// measured in.
struct LoadedManifest {
    std::vector<ArchiveEntry> entries;
    std::vector<FileId> files;  // one per entry, in the same order
};

// Reads the manifest in `output`, which may not be a link, and turns every
// non-empty line into a complete directory entry: kind, lengths taken from
// the files now, and the data positions of the new archive; the window gets
// its turn once per line. Every fault of the manifest (a line without a
// comma, a missing file or one reached through a link, a bad or negative
// number, no entries, an archive too long) raises ToolError naming the line,
// before anything is written. Names the directory cannot hold as they stand
// are warned of through the window (see stored_names.h).
LoadedManifest loadManifest(const Folder& output, ToolWindow& window);

}  // namespace zrk
