#include "archive_directory.h"

#include <algorithm>
#include <string>

#include "ansi_text.h"
#include "errors.h"
#include "work_files.h"

namespace zrk {

namespace {

constexpr auto kHeaderBytes = static_cast<std::int64_t>(kHeaderSize);
constexpr std::int64_t kRecordsPerRead = 2048;  // 64 KiB

std::string damaged(const File& archive) {
    return archive.path() + " is damaged: ";
}

ArchiveEntry readFirstRecord(File& archive, std::int64_t archiveSize) {
    if (archiveSize < fileOffset(firstDataPosition(1))) {
        throw ToolError(damaged(archive) + "it ends at position " + std::to_string(archiveSize) +
                        ", inside directory record 1 (positions 17 to 48)");
    }
    DirectoryRecord record{};
    archive.readExactlyAt(fileOffset(recordPosition(1)), record);
    return decodeDirectoryRecord(record, 1);
}

// Records in the directory, checked against the file before any of them is
// read.
std::int64_t checkedRecordCount(const File& archive, std::int64_t archiveSize,
                                std::int32_t firstDataOffset) {
    std::int64_t count = directoryRecordCount(firstDataOffset);
    std::int64_t end = fileOffset(firstDataPosition(count));  // the last directory byte
    if (end > archiveSize) {
        throw ToolError(
            damaged(archive) + "directory record 1 puts the first data byte at position " +
            std::to_string(firstDataOffset) + ", so the directory would hold " +
            std::to_string(count) + " records at positions 17 to " + std::to_string(end) +
            ", but the file ends at position " + std::to_string(archiveSize));
    }
    return count;
}

}  // namespace

bool holdsArchive(const Folder& workFolder) {
    return workFolder.status(kArchiveName, Links::Follow).isVisibleFile();
}

void checkArchiveHoldsHeader(File& archive, std::int64_t archiveSize) {
    if (archiveSize < kHeaderBytes) {
        throw ToolError(damaged(archive) + "it is " + std::to_string(archiveSize) +
                        " bytes long, shorter than its 16-byte header");
    }
    ArchiveHeader header{};
    archive.readExactlyAt(0, header);
}

std::vector<ArchiveEntry> readArchiveDirectory(File& archive, std::int64_t archiveSize,
                                               ToolWindow& window) {
    ArchiveEntry first = readFirstRecord(archive, archiveSize);
    std::int64_t count = checkedRecordCount(archive, archiveSize, first.dataOffset);
    std::vector<ArchiveEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    // Large reads, yet a buffer that does not grow with the directory.
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(count, kRecordsPerRead)) *
                                    kRecordSize);
    for (std::int64_t read = 0; read < count;) {
        auto records = static_cast<std::size_t>(std::min(count - read, kRecordsPerRead));
        MutableByteView bytes(chunk.data(), records * kRecordSize);
        archive.readExactlyAt(fileOffset(recordPosition(read + 1)), bytes);
        for (std::size_t at = 0; at < bytes.size(); at += kRecordSize) {
            entries.push_back(decodeDirectoryRecord(bytes.subspan(at, kRecordSize), ++read));
            window.processEvents();
        }
    }
    return entries;
}

void checkEntryInsideArchive(const ArchiveEntry& entry, std::int64_t number, const File& archive,
                             std::int64_t archiveSize) {
    if (entry.dataLength == 0) {
        return;  // nothing to read
    }
    std::int64_t first = entry.dataOffset;
    std::int64_t last = first + entry.dataLength - 1;
    if (first < 1 || last > archiveSize) {
        throw ToolError(damaged(archive) + "entry " + std::to_string(number) + " " +
                        quote(entry.name) + " has its " + std::to_string(entry.dataLength) +
                        " bytes at positions " + std::to_string(first) + " to " +
                        std::to_string(last) + ", but the file holds positions 1 to " +
                        std::to_string(archiveSize));
    }
}

void checkEntryCopied(const ArchiveEntry& entry, std::int64_t number, const File& archive,
                      std::int64_t copied) {
    if (copied < entry.dataLength) {
        throw ToolError(archive.path() + " became shorter during the run: entry " +
                        std::to_string(number) + " " + quote(entry.name) + " got only " +
                        std::to_string(copied) + " of its " + std::to_string(entry.dataLength) +
                        " bytes from position " + std::to_string(entry.dataOffset) +
                        "; its file is not written");
    }
}

}  // namespace zrk
