#include "repack_job.h"

#include <vector>

#include "archive_format.h"
#include "errors.h"
#include "file.h"
#include "folder.h"
#include "manifest_loading.h"
#include "work_files.h"

namespace zrk {

namespace {

void writeHeader(File& archive, std::size_t entryCount) {
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(entryCount));
    archive.writeAt(0, header);
}

// All records go out in one write; the window still gets its turn per record.
void writeDirectory(ToolWindow& window, File& archive, const std::vector<ArchiveEntry>& entries) {
    std::vector<std::uint8_t> directory;
    directory.reserve(kRecordSize * entries.size());
    for (const ArchiveEntry& entry : entries) {
        DirectoryRecord record = encodeDirectoryRecord(entry);
        directory.insert(directory.end(), record.begin(), record.end());
        window.processEvents();
    }
    archive.writeAt(fileOffset(recordPosition(1)), directory);
}

// Copies the entry's measured length from its file. A file that grew since it
// was measured gives only that many bytes; one that shrank cannot fill its
// place and ends the run.
void copyEntryData(File& archive, const ArchiveEntry& entry, const Folder& output,
                   const RelativePath& file, ToolWindow& window) {
    // The same way below Output as when it was measured, refusing a link that
    // appeared since.
    File source = output.openForReading(file, Links::Refuse);
    std::int64_t copied = copyAvailableBytes(source, 0, archive, fileOffset(entry.dataOffset),
                                             entry.dataLength, [&] { window.processEvents(); });
    if (copied < entry.dataLength) {
        throw ToolError(source.path() + " is now " + std::to_string(copied) +
                        " bytes long, shorter than the " + std::to_string(entry.dataLength) +
                        " bytes it had when the manifest was read; ZRK.NEW is incomplete");
    }
    source.close();
}

}  // namespace

void runRepack(ToolWindow& window, const Folder& workFolder) {
    workFolder.removeFile(kNewArchiveName);
    // Output and the manifest may be links: where they lie is the user's choice.
    std::optional<Folder> output = workFolder.openFolder(kOutputFolderName, false);
    if (!output || !output->status(kManifestName, Links::Follow).isVisibleFile()) {
        window.appendLog("Manifest file not found!");
        return;
    }
    window.appendLog("Reading metadata from manifest...");
    LoadedManifest loaded = loadManifest(*output, window);
    const std::vector<ArchiveEntry>& entries = loaded.entries;

    File archive = workFolder.createNewFile(kNewArchiveName);
    writeHeader(archive, entries.size());
    window.appendLog("Writing metadata...");
    writeDirectory(window, archive, entries);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        window.appendLog("Repacking " + entries[k].name + "...");
        copyEntryData(archive, entries[k], *output, loaded.files[k], window);
        window.processEvents();
    }
    archive.close();
    window.appendLog("Done!");
}

}  // namespace zrk
