#include "unpack_job.h"

#include <optional>
#include <vector>

#include "archive_directory.h"
#include "archive_format.h"
#include "file.h"
#include "folder.h"
#include "manifest.h"
#include "relative_path.h"
#include "work_files.h"

namespace zrk {

namespace {

constexpr std::size_t kManifestPiece = 1 << 20;

// The manifest goes out whole before any entry, so that it lists every entry
// even when the run ends during extraction.
void writeManifest(const File& archive, const std::vector<ArchiveEntry>& entries,
                   const std::optional<Folder>& output, ToolWindow& window) {
    std::optional<File> manifest =
        output ? output->replaceFile(kManifestName, archive) : std::nullopt;
    if (!manifest) {
        window.appendLog("Unable to write manifest file");
        return;
    }
    // Written in large pieces, yet without a copy of the whole directory.
    std::string text;
    std::int64_t written = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        text += formatManifestLine(entries[k]);
        if (text.size() >= kManifestPiece || k + 1 == entries.size()) {
            manifest->writeAt(
                written, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
            written += static_cast<std::int64_t>(text.size());
            text.clear();
        }
    }
    manifest->close();
}

// Writes one entry's file; false when its name or its place cannot take it.
bool extractEntry(File& archive, const ArchiveEntry& entry, std::int64_t number,
                  const std::optional<Folder>& output, ToolWindow& window) {
    std::optional<RelativePath> path = RelativePath::fromEntryName(entry.name);
    // The manifest, written first, lists every entry; no entry may replace it.
    if (!output || !path || path->isTheManifest()) {
        return false;
    }
    std::optional<File> out = output->replaceFile(*path, archive);
    if (!out) {
        return false;
    }
    if (entry.dataLength > 0) {
        checkEntryCopied(entry, number, archive,
                         copyAvailableBytes(archive, fileOffset(entry.dataOffset), *out, 0,
                                            entry.dataLength, [&] { window.processEvents(); }));
    }
    out->close();
    return true;
}

void extractEntries(File& archive, std::int64_t archiveSize,
                    const std::vector<ArchiveEntry>& entries, const std::optional<Folder>& output,
                    ToolWindow& window) {
    std::int64_t number = 0;
    for (const ArchiveEntry& entry : entries) {
        window.appendLog("Unpacking " + entry.name + "...");
        // Nothing is written for an entry whose bytes are not all in the archive.
        checkEntryInsideArchive(entry, ++number, archive, archiveSize);
        if (!extractEntry(archive, entry, number, output, window)) {
            window.appendLog("Unable to write " + entry.name + "!");
        }
        window.processEvents();
    }
}

}  // namespace

void runUnpack(ToolWindow& window, const Folder& workFolder) {
    if (!holdsArchive(workFolder)) {
        window.appendLog("ZRK.DAT not found!");
        return;
    }
    File archive = workFolder.openForReading(kArchiveName, Links::Follow);
    std::int64_t archiveSize = archive.size();
    checkArchiveHoldsHeader(archive, archiveSize);
    window.appendLog("Reading metadata...");
    std::vector<ArchiveEntry> entries = readArchiveDirectory(archive, archiveSize, window);
    window.appendLog("Writing manifest file...");
    // Output itself may be a link: where it lies is the user's choice.
    std::optional<Folder> output = workFolder.openFolder(kOutputFolderName, true);
    writeManifest(archive, entries, output, window);
    extractEntries(archive, archiveSize, entries, output, window);
    archive.close();
    window.appendLog("Done!");
}

}  // namespace zrk
