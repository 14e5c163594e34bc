#pragma once

#include <cstdint>
#include <vector>

#include "archive_format.h"
#include "file.h"
#include "folder.h"
#include "tool_window.h"

namespace zrk {

// True when the work folder holds ZRK.DAT as a plain file that counts (see
// isVisibleFile), followed where it is a link. A failure to look other than
// its being missing raises ToolError.
bool holdsArchive(const Folder& workFolder);

// Checks that the file holds the 16-byte header, and reads it; the header holds
// nothing the run needs. A file too short for it raises ToolError.
void checkArchiveHoldsHeader(File& archive, std::int64_t archiveSize);

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

// Raises ToolError naming the entry when only `copied` of its bytes could be
// read: the archive became shorter during the run.
void checkEntryCopied(const ArchiveEntry& entry, std::int64_t number, const File& archive,
                      std::int64_t copied);

}  // namespace zrk
