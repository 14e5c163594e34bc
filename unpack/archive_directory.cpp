#include "archive_directory.h"

#include <string>

#include "ansi_text.h"
#include "errors.h"

namespace zrk {

namespace {

constexpr auto kRecordBytes = static_cast<std::int64_t>(kRecordSize);
constexpr auto kHeaderBytes = static_cast<std::int64_t>(kHeaderSize);

std::string damaged(const File& archive) {
    return archive.path() + " is damaged: ";
}

ArchiveEntry readFirstRecord(File& archive, std::int64_t archiveSize) {
    if (archiveSize < kHeaderBytes + kRecordBytes) {
        throw ToolError(damaged(archive) + "it ends at position " + std::to_string(archiveSize) +
                        ", inside directory record 1 (positions 17 to 48)");
    }
    DirectoryRecord record{};
    archive.readExactlyAt(kHeaderBytes, record);
    return decodeDirectoryRecord(record, 1);
}

// Bytes of the directory area, checked against the file before any of it is
// allocated.
std::size_t directoryBytes(const File& archive, std::int64_t archiveSize,
                           std::int32_t firstDataOffset) {
    std::int64_t count = directoryRecordCount(firstDataOffset);
    std::int64_t end = kHeaderBytes + count * kRecordBytes;
    if (end > archiveSize) {
        throw ToolError(
            damaged(archive) + "directory record 1 puts the first data byte at position " +
            std::to_string(firstDataOffset) + ", so the directory would hold " +
            std::to_string(count) + " records at positions 17 to " + std::to_string(end) +
            ", but the file ends at position " + std::to_string(archiveSize));
    }
    return static_cast<std::size_t>(end - kHeaderBytes);
}

}  // namespace

std::int64_t directoryRecordCount(std::int32_t firstDataOffset) {
    std::int64_t past = std::int64_t{firstDataOffset} - kFirstRecordPosition;
    return past <= kRecordBytes ? 1 : (past + kRecordBytes - 1) / kRecordBytes;
}

void readArchiveHeader(File& archive, std::int64_t archiveSize) {
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
    std::vector<std::uint8_t> area(directoryBytes(archive, archiveSize, first.dataOffset));
    archive.readExactlyAt(kHeaderBytes, area);
    std::vector<ArchiveEntry> entries;
    entries.reserve(area.size() / kRecordSize);
    for (std::size_t at = 0; at < area.size(); at += kRecordSize) {
        entries.push_back(decodeDirectoryRecord(ByteView(area).subspan(at, kRecordSize),
                                                static_cast<std::int64_t>(entries.size()) + 1));
        window.processEvents();
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
        throw ToolError(damaged(archive) + "entry " + std::to_string(number) + " \"" +
                        ansiToNative(entry.name) + "\" has its " +
                        std::to_string(entry.dataLength) + " bytes at positions " +
                        std::to_string(first) + " to " + std::to_string(last) +
                        ", but the file holds positions 1 to " + std::to_string(archiveSize));
    }
}

}  // namespace zrk
