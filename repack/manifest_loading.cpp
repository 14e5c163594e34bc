#include "manifest_loading.h"

#include <algorithm>
#include <string>

#include "ansi_text.h"
#include "errors.h"
#include "file.h"
#include "manifest.h"
#include "stored_names.h"
#include "utf8_text.h"
#include "work_files.h"

namespace zrk {

namespace {

// The file a manifest line names below Output, checked by the name rules.
RelativePath fileOf(const ManifestLine& line) {
    if (line.name.empty()) {
        throw ToolError(manifestLineLabel(line.lineNumber) +
                        ": the name before the comma is empty");
    }
    if (std::size_t zero = line.name.find('\0'); zero != std::string::npos) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": the name " +
                        quote(line.name.substr(0, zero)) +
                        " is followed by a zero byte, which no file name can hold");
    }
    // Such a name could not have come from Unpack, which refuses to write it.
    std::optional<RelativePath> path = RelativePath::fromEntryName(line.name);
    if (!path) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": the name " + quote(line.name) +
                        " cannot stand for a file inside the Output folder");
    }
    return *path;
}

// A missing file's name may be UTF-8 text that the code page turned into
// other characters.
std::string utf8Hint(const ManifestLine& line) {
    if (!looksLikeUtf8(line.name + ',' + line.lengthText)) {
        return "";
    }
    return "; the line looks like UTF-8, but " + manifestCodePageAdvice();
}

// The length and the identity of the file a manifest line names. No level on
// its way, the file included, may be a link, so that a tree received from someone else cannot
// pull in files from elsewhere.
PathStatus measure(const Folder& output, const RelativePath& file, const ManifestLine& line) {
    PathStatus status;
    try {
        status = output.status(file, Links::Refuse);
    } catch (const ToolError& error) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": " + error.what());
    }
    if (status.kind == PathKind::File && status.size <= kLargestPosition) {
        return status;
    }
    std::string prefix =
        manifestLineLabel(line.lineNumber) + ": " + escapeControls(output.path() + file.shown());
    if (status.kind == PathKind::Link) {
        throw ToolError(prefix + " is reached through a link");
    }
    if (status.kind == PathKind::Folder) {
        throw ToolError(prefix + " is a folder, not a file");
    }
    if (status.kind != PathKind::File) {
        throw ToolError(prefix + " is missing or not a plain file" + utf8Hint(line));
    }
    throw ToolError(prefix + " is " + std::to_string(status.size) +
                    " bytes long; an entry holds at most " + std::to_string(kLargestPosition));
}

std::int32_t declaredLengthOf(const ManifestLine& line, const ArchiveEntry& entry) {
    if (entry.kind == kKindPcm) {
        return entry.dataLength;
    }
    std::int32_t value = parseManifestNumber(line);
    if (value < 0) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": the length " +
                        std::to_string(value) + " of " + quote(line.name) +
                        " is negative; it must be 0 to " + std::to_string(kLargestPosition));
    }
    return value;
}

// Checked line by line, so that the error names the line that makes the
// archive too long.
void checkArchiveEnd(std::int64_t end, const ManifestLine& line, const ArchiveEntry& entry) {
    if (end > kLargestPosition) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": with " + quote(entry.name) + " (" +
                        std::to_string(entry.dataLength) + " bytes) the new archive would be " +
                        std::to_string(end - 1) + " bytes long; it can hold at most " +
                        std::to_string(kLargestPosition - 1));
    }
}

// How many entries the manifest names at most: its lines that are not empty.
// The lists of entries are made that long at once (up to a bound, so that a
// hostile manifest costs no memory before its first line is checked), rather
// than grown by copying, which holds the old list and the new one together.
std::size_t entriesAtMost(File& manifest) {
    constexpr std::size_t kMostAtOnce = 1 << 20;
    std::vector<std::uint8_t> piece(64 * 1024);
    std::size_t lines = 0;
    bool empty = true;
    for (std::int64_t at = 0;;) {
        std::size_t got = manifest.readAt(at, piece);
        if (got == 0) {
            return std::min(lines + (empty ? 0 : 1), kMostAtOnce);
        }
        for (std::size_t i = 0; i < got; ++i) {
            lines += piece[i] == '\n' && !empty ? 1 : 0;
            empty = piece[i] == '\n' || (empty && piece[i] == '\r');
        }
        at += static_cast<std::int64_t>(got);
    }
}

}  // namespace

LoadedManifest loadManifest(const Folder& output, ToolWindow& window) {
    File manifest = output.openForReading(kManifestName, Links::Refuse);
    std::int64_t readOffset = 0;
    ManifestReader reader([&](char* buffer, std::size_t size) {
        std::size_t got = manifest.readAt(
            readOffset, MutableByteView(reinterpret_cast<std::uint8_t*>(buffer), size));
        readOffset += static_cast<std::int64_t>(got);
        return got;
    });

    LoadedManifest loaded;
    std::vector<ArchiveEntry>& entries = loaded.entries;
    std::size_t most = entriesAtMost(manifest);
    entries.reserve(most);
    loaded.files.reserve(most);
    std::int64_t dataBytes = 0;
    StoredNames names(most);
    while (std::optional<ManifestLine> line = reader.next()) {
        ArchiveEntry& entry = entries.emplace_back();
        entry.name = line->name;
        entry.kind = kindForName(line->name);
        PathStatus measured = measure(output, fileOf(*line), *line);
        entry.dataLength = static_cast<std::int32_t>(measured.size);
        loaded.files.push_back(measured.id);
        entry.declaredLength = declaredLengthOf(*line, entry);
        dataBytes += entry.dataLength;
        checkArchiveEnd(archiveEnd(static_cast<std::int64_t>(entries.size()), dataBytes), *line,
                        entry);
        names.add(*line, window);
        window.processEvents();
    }
    manifest.close();
    names.warnOfSharedNames(entries, window);

    if (entries.empty()) {
        throw ToolError("manifest.txt has no entries: " + manifest.path() +
                        " holds no line naming a file, and an archive needs at least one");
    }
    planLayout(entries);
    return loaded;
}

}  // namespace zrk
