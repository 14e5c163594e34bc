#include "manifest_loading.h"

#include <algorithm>
#include <cctype>

#include "ansi_text.h"
#include "entry_names.h"
#include "errors.h"
#include "file_handle.h"
#include "file_system.h"
#include "manifest.h"
#include "work_files.h"

namespace zrk {

namespace {

constexpr std::string_view kPcmSuffix = "PCM";

std::string where(const ManifestLine& line) {
    return "manifest.txt line " + std::to_string(line.lineNumber);
}

std::string quoted(std::string_view name) {
    return "\"" + ansiToNative(name) + "\"";
}

std::int32_t measureEntryFile(const ManifestLine& line, const std::string& path) {
    if (line.name.empty()) {
        throw ToolError(where(line) + ": the name before the comma is empty");
    }
    if (std::size_t zero = line.name.find('\0'); zero != std::string::npos) {
        throw ToolError(where(line) + ": the name " + quoted(line.name.substr(0, zero)) +
                        " is followed by a zero byte, which no file name can hold");
    }
    // Such a name could not have come from Unpack, which refuses to write it.
    if (!nameStaysInsideOutput(line.name, hostNameRules())) {
        throw ToolError(where(line) + ": the name " + quoted(line.name) +
                        " cannot stand for a file inside the Output folder");
    }
    std::optional<std::int64_t> measured = plainFileLength(path);
    if (!measured) {
        throw ToolError(
            where(line) + ": " + path +
            (folderExists(path) ? " is a folder, not a file" : " is missing or not a plain file"));
    }
    std::int64_t length = *measured;
    if (length > kLargestPosition) {
        throw ToolError(where(line) + ": " + path + " is " + std::to_string(length) +
                        " bytes long; an entry holds at most " + std::to_string(kLargestPosition));
    }
    return static_cast<std::int32_t>(length);
}

std::int32_t declaredLengthOf(const ManifestLine& line, const ArchiveEntry& entry) {
    if (entry.kind == KindPcm) {
        return entry.dataLength;
    }
    std::int32_t value = parseManifestNumber(line);
    if (value < 0) {
        throw ToolError(where(line) + ": the length " + std::to_string(value) + " of " +
                        quoted(line.name) + " is negative; it must be 0 to " +
                        std::to_string(kLargestPosition));
    }
    return value;
}

ArchiveEntry entryFor(const ManifestLine& line, const std::string& workDir) {
    ArchiveEntry entry;
    entry.name = line.name;
    entry.kind = entryKindOf(line.name);
    entry.dataLength = measureEntryFile(line, entryPath(workDir, line.name));
    entry.declaredLength = declaredLengthOf(line, entry);
    return entry;
}

// Each entry adds a record and its data to the archive; the position after
// the last byte must stay a 32-bit value. Checked line by line, so that the
// error names the line that makes the archive too long.
void checkArchiveEnd(std::int64_t end, const ManifestLine& line, const ArchiveEntry& entry) {
    if (end > kLargestPosition) {
        throw ToolError(where(line) + ": with " + quoted(entry.name) + " (" +
                        std::to_string(entry.dataLength) + " bytes) the new archive would be " +
                        std::to_string(end - 1) + " bytes long; it can hold at most " +
                        std::to_string(kLargestPosition - 1));
    }
}

// The data follow the directory, one entry after the other in manifest order.
void planLayout(std::vector<ArchiveEntry>& entries) {
    std::int64_t next =
        kFirstRecordPosition + static_cast<std::int64_t>(kRecordSize * entries.size());
    for (ArchiveEntry& entry : entries) {
        entry.dataOffset = static_cast<std::int32_t>(next);
        next += entry.dataLength;
    }
}

}  // namespace

std::uint8_t entryKindOf(const std::string& name) {
    if (name.size() < kPcmSuffix.size()) {
        return KindOther;
    }
    std::string_view last = std::string_view(name).substr(name.size() - kPcmSuffix.size());
    bool isPcm = std::equal(last.begin(), last.end(), kPcmSuffix.begin(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == b;
    });
    return isPcm ? KindPcm : KindOther;
}

std::vector<ArchiveEntry> loadManifest(ToolWindow& window, const std::string& workDir) {
    window.appendLog("Reading metadata from manifest...");
    std::string path = manifestPath(workDir);
    File manifest = File::openForReading(path);
    std::int64_t readOffset = 0;
    ManifestReader reader([&](char* buffer, std::size_t size) {
        std::size_t got = manifest.readAt(
            readOffset, MutableByteView(reinterpret_cast<std::uint8_t*>(buffer), size));
        readOffset += static_cast<std::int64_t>(got);
        return got;
    });

    std::vector<ArchiveEntry> entries;
    std::int64_t archiveEnd = kFirstRecordPosition;
    while (std::optional<ManifestLine> line = reader.next()) {
        entries.push_back(entryFor(*line, workDir));
        archiveEnd += static_cast<std::int64_t>(kRecordSize) + entries.back().dataLength;
        checkArchiveEnd(archiveEnd, *line, entries.back());
    }
    manifest.close();

    if (entries.empty()) {
        throw ToolError("manifest.txt has no entries: " + path +
                        " holds no line naming a file, and an archive needs at least one");
    }
    planLayout(entries);
    return entries;
}

}  // namespace zrk
