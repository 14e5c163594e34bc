#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive_format.h"
#include "tool_window.h"

namespace zrk {

// The largest value a 32-bit field holds; the next free position after the
// last data byte must not pass it, so the longest archive is one byte shorter.
inline constexpr std::int64_t kLargestPosition = 2147483647;

// Reads "Output\manifest.txt" under `workDir` and turns every non-empty line
// into a complete directory entry: kind, lengths taken from the files now, and
// the data positions of the new archive. Every fault of the manifest (a line
// without a comma, a missing file, a bad or negative number, no entries, an
// archive too long) raises ToolError naming the line, before anything is
// written.
std::vector<ArchiveEntry> loadManifest(ToolWindow& window, const std::string& workDir);

// KindPcm for a name whose last three characters are "PCM" in any case.
std::uint8_t entryKindOf(const std::string& name);

}  // namespace zrk
