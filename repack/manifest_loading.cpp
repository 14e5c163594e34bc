#include "manifest_loading.h"

#include <string>
#include <unordered_set>

#include "ansi_text.h"
#include "entry_names.h"
#include "errors.h"
#include "file.h"
#include "manifest.h"
#include "native_path.h"
#include "work_files.h"

namespace zrk {

namespace {

// Finds the files that manifest lines name below Output. Each folder on the
// way is looked at once per run: none may be a link, as the file itself may
// not, so that a tree received from someone else cannot pull in files from
// elsewhere.
class EntryFiles {
public:
    explicit EntryFiles(const Folder& output) : output_(output) {}

    std::int32_t measure(const ManifestLine& line) {
        checkName(line);
        std::string relative = nativeRelativePath(line.name);
        std::string prefix =
            where(line.lineNumber) + ": " + escapeControls(output_.path() + relative);
        PathStatus status =
            passesThroughLink(relative, line) ? PathStatus{PathKind::Link} : lookAt(relative, line);
        if (status.kind == PathKind::Link) {
            throw ToolError(prefix + " is reached through a link");
        }
        if (status.kind == PathKind::Folder) {
            throw ToolError(prefix + " is a folder, not a file");
        }
        if (status.kind != PathKind::File) {
            throw ToolError(prefix + " is missing or not a plain file");
        }
        if (status.size > kLargestPosition) {
            throw ToolError(prefix + " is " + std::to_string(status.size) +
                            " bytes long; an entry holds at most " +
                            std::to_string(kLargestPosition));
        }
        return static_cast<std::int32_t>(status.size);
    }

private:
    static void checkName(const ManifestLine& line) {
        if (line.name.empty()) {
            throw ToolError(where(line.lineNumber) + ": the name before the comma is empty");
        }
        if (std::size_t zero = line.name.find('\0'); zero != std::string::npos) {
            throw ToolError(where(line.lineNumber) + ": the name " +
                            quote(line.name.substr(0, zero)) +
                            " is followed by a zero byte, which no file name can hold");
        }
        // Such a name could not have come from Unpack, which refuses to write it.
        if (!nameStaysInsideOutput(line.name, hostNameRules())) {
            throw ToolError(where(line.lineNumber) + ": the name " + quote(line.name) +
                            " cannot stand for a file inside the Output folder");
        }
    }

    // What is at a path the manifest names, not following a link; a failure to
    // look names the line.
    PathStatus lookAt(const std::string& relative, const ManifestLine& line) const {
        try {
            return output_.status(relative, false);
        } catch (const ToolError& error) {
            throw ToolError(where(line.lineNumber) + ": " + error.what());
        }
    }

    // True when a folder between Output and the file is a link. A level that
    // is missing or a file is left to the look at the file itself.
    bool passesThroughLink(const std::string& relative, const ManifestLine& line) {
        for (std::size_t cut = relative.find_first_of("/\\"); cut != std::string::npos;
             cut = relative.find_first_of("/\\", cut + 1)) {
            std::string folder = relative.substr(0, cut);
            if (folder.empty() || checkedFolders_.contains(folder)) {
                continue;
            }
            PathKind kind = lookAt(folder, line).kind;
            if (kind == PathKind::Link) {
                return true;
            }
            if (kind != PathKind::Folder) {
                return false;
            }
            checkedFolders_.insert(std::move(folder));
        }
        return false;
    }

    const Folder& output_;
    std::unordered_set<std::string> checkedFolders_;
};

std::int32_t declaredLengthOf(const ManifestLine& line, const ArchiveEntry& entry) {
    if (entry.kind == kKindPcm) {
        return entry.dataLength;
    }
    std::int32_t value = parseManifestNumber(line);
    if (value < 0) {
        throw ToolError(where(line.lineNumber) + ": the length " + std::to_string(value) + " of " +
                        quote(line.name) + " is negative; it must be 0 to " +
                        std::to_string(kLargestPosition));
    }
    return value;
}

// Checked line by line, so that the error names the line that makes the
// archive too long.
void checkArchiveEnd(std::int64_t end, const ManifestLine& line, const ArchiveEntry& entry) {
    if (end > kLargestPosition) {
        throw ToolError(where(line.lineNumber) + ": with " + quote(entry.name) + " (" +
                        std::to_string(entry.dataLength) + " bytes) the new archive would be " +
                        std::to_string(end - 1) + " bytes long; it can hold at most " +
                        std::to_string(kLargestPosition - 1));
    }
}

}  // namespace

std::vector<ArchiveEntry> loadManifest(const Folder& output) {
    File manifest = output.openForReading(kManifestName, true);
    std::int64_t readOffset = 0;
    ManifestReader reader([&](char* buffer, std::size_t size) {
        std::size_t got = manifest.readAt(
            readOffset, MutableByteView(reinterpret_cast<std::uint8_t*>(buffer), size));
        readOffset += static_cast<std::int64_t>(got);
        return got;
    });

    EntryFiles files(output);
    std::vector<ArchiveEntry> entries;
    std::int64_t dataBytes = 0;
    while (std::optional<ManifestLine> line = reader.next()) {
        ArchiveEntry& entry = entries.emplace_back();
        entry.name = line->name;
        entry.kind = kindForName(line->name);
        entry.dataLength = files.measure(*line);
        entry.declaredLength = declaredLengthOf(*line, entry);
        dataBytes += entry.dataLength;
        checkArchiveEnd(archiveEnd(static_cast<std::int64_t>(entries.size()), dataBytes), *line,
                        entry);
    }
    manifest.close();

    if (entries.empty()) {
        throw ToolError("manifest.txt has no entries: " + manifest.path() +
                        " holds no line naming a file, and an archive needs at least one");
    }
    planLayout(entries);
    return entries;
}

}  // namespace zrk
