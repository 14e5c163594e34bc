#include "unpack_job.h"

#include <optional>
#include <vector>

#include "archive_directory.h"
#include "archive_format.h"
#include "entry_names.h"
#include "file_handle.h"
#include "file_system.h"
#include "folder_creation.h"
#include "manifest.h"
#include "output_folders.h"
#include "work_files.h"

namespace zrk {

namespace {

constexpr std::size_t kManifestPiece = 1 << 20;

// The manifest goes out whole before any entry, so that it lists every entry
// even when the run ends during extraction.
void writeManifest(const File& archive, const std::vector<ArchiveEntry>& entries,
                   const std::string& workDir, ToolWindow& window) {
    std::string path = manifestPath(workDir);
    std::optional<File> manifest;
    if (ensureFolderFor(path)) {
        manifest = File::createPlainFile(path, archive);
    }
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

// Writes one entry's file; false when its name or its folder cannot take it.
bool extractEntry(File& archive, const ArchiveEntry& entry, const std::string& workDir,
                  OutputFolders& folders) {
    // The manifest, written first, lists every entry; no entry may replace it.
    if (!nameStaysInsideOutput(entry.name, hostNameRules()) ||
        nameIsTheManifest(entry.name, hostNameRules())) {
        return false;
    }
    std::string target = entryPath(workDir, entry.name);
    if (!folders.prepareFolderFor(target)) {
        return false;
    }
    std::optional<File> out = File::createPlainFile(target, archive);
    if (!out) {
        return false;
    }
    if (entry.dataLength > 0) {
        copyBytes(archive, std::int64_t{entry.dataOffset} - 1, *out, 0, entry.dataLength);
    }
    out->close();
    return true;
}

void extractEntries(File& archive, std::int64_t archiveSize,
                    const std::vector<ArchiveEntry>& entries, const std::string& workDir,
                    ToolWindow& window) {
    OutputFolders folders(nativeChildPath(workDir, std::string(kOutputFolderName) + "\\"));
    std::int64_t number = 0;
    for (const ArchiveEntry& entry : entries) {
        window.appendLog("Unpacking " + entry.name + "...");
        // Nothing is written for an entry whose bytes are not all in the archive.
        checkEntryInsideArchive(entry, ++number, archive, archiveSize);
        if (!extractEntry(archive, entry, workDir, folders)) {
            window.appendLog("Unable to write " + entry.name + "!");
        }
        window.processEvents();
    }
}

}  // namespace

void runUnpack(ToolWindow& window, const std::string& workDir) {
    std::string path = archivePath(workDir);
    if (!plainFileExists(path)) {
        window.appendLog("ZRK.DAT not found!");
        return;
    }
    File archive = File::openForReading(path);
    std::int64_t archiveSize = archive.size();
    readArchiveHeader(archive, archiveSize);
    window.appendLog("Reading metadata...");
    std::vector<ArchiveEntry> entries = readArchiveDirectory(archive, archiveSize, window);
    window.appendLog("Writing manifest file...");
    writeManifest(archive, entries, workDir, window);
    extractEntries(archive, archiveSize, entries, workDir, window);
    archive.close();
    window.appendLog("Done!");
}

}  // namespace zrk
