#pragma once

#include <cstdint>
#include <vector>

#include "archive_format.h"
#include "file_handle.h"
#include "tool_window.h"

namespace zrk {

// Number of directory records: they follow one another from position 17 for as
// long as the next record's position is below the first record's dataOffset,
// and there is always at least one.
std::int64_t directoryRecordCount(std::int32_t firstDataOffset);

// Reads the 16 header bytes, which hold nothing the run needs; a file too short
// for them raises ToolError.
void readArchiveHeader(File& archive, std::int64_t archiveSize);

// Reads the whole directory of an archive of `archiveSize` bytes, letting the
// window breathe once per record. A file too short for the directory that its
// first record implies raises ToolError before anything is allocated for it; a
// field that does not decode raises OverflowError.
std::vector<ArchiveEntry> readArchiveDirectory(File& archive, std::int64_t archiveSize,
                                               ToolWindow& window);

// Raises ToolError naming the entry (numbered from 1) and the positions when
// its data do not lie wholly inside an archive of `archiveSize` bytes.
void checkEntryInsideArchive(const ArchiveEntry& entry, std::int64_t number, const File& archive,
                             std::int64_t archiveSize);

}  // namespace zrk
