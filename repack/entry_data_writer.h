#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive_format.h"
#include "file_handle.h"

namespace zrk {

// Copies the entries' data into the new archive, one entry after the other in
// layout order, with bounded memory. The data of consecutive small entries are
// gathered and written together: for files of a few KiB a write per entry
// costs more than the copying. Bytes still gathered when the run ends early
// are not in the archive, which is incomplete then anyway.
class EntryDataWriter {
public:
    explicit EntryDataWriter(File& archive);

    // Copies the entry's measured length from the file at `path`. A file that
    // grew since it was measured gives only that many bytes; one that shrank
    // cannot fill its place and raises ToolError naming it, after what was
    // gathered before it is written.
    void copy(const ArchiveEntry& entry, const std::string& path);

    // Writes what is gathered; needed once after the last entry.
    void flush();

private:
    void gather(File& source, const ArchiveEntry& entry);
    void copyInKernel(File& source, const ArchiveEntry& entry);
    [[noreturn]] void failShrank(const File& source, std::int64_t length,
                                 const ArchiveEntry& entry);

    File& archive_;
    std::vector<std::uint8_t> buffer_;
    std::size_t gathered_ = 0;
    std::int64_t gatheredAt_ = 0;  // file offset of the buffer's first byte
};

}  // namespace zrk
