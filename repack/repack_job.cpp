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

// Copies the entry's bytes from the very file that was measured, at the length
// it had then; a file changed since, or while it is copied, ends the run.
void copyEntryData(File& archive, const ArchiveEntry& entry, const Folder& output,
                   const FileId& measured, ToolWindow& window) {
    // The same way below Output as when it was measured, refusing a link that
    // appeared since.
    File source = output.openMeasured(RelativePath::fromEntryName(entry.name).value(), measured,
                                      entry.dataLength);
    std::int64_t copied = copyAvailableBytes(source, 0, archive, fileOffset(entry.dataOffset),
                                             entry.dataLength, [&] { window.processEvents(); });
    if (copied < entry.dataLength) {
        throw ToolError(source.path() +
                        " became shorter while it was copied: " + std::to_string(copied) +
                        " of its " + std::to_string(entry.dataLength) + " bytes were there");
    }
    source.close();
}

}  // namespace

JobReport runRepack(ToolWindow& window, const Folder& workFolder) {
    workFolder.removeFile(kNewArchiveName);
    // Output may be a link: where it lies is the user's choice. The manifest
    // in it is read as the entries are, never through a link.
    std::optional<Folder> output = workFolder.openFolder(kOutputFolderName, false);
    PathStatus manifest = output ? output->status(kManifestName, Links::Refuse) : PathStatus{};
    if (manifest.kind != PathKind::Link && !manifest.isVisibleFile()) {
        window.appendLog("Manifest file not found!");
        return {
            false,
            "no Output" + std::string(1, pathSeparator()) + "manifest.txt in " + workFolder.path(),
            true};
    }
    window.appendLog("Reading metadata from manifest...");
    LoadedManifest loaded = loadManifest(*output, window);
    const std::vector<ArchiveEntry>& entries = loaded.entries;

    std::optional<std::string> refusal =
        workFolder.writeFile(kNewArchiveName, nullptr, [&](File& archive) {
            writeHeader(archive, entries.size());
            window.appendLog("Writing metadata...");
            writeDirectory(window, archive, entries);
            for (std::size_t k = 0; k < entries.size(); ++k) {
                window.appendLog("Repacking " + entries[k].name + "...");
                copyEntryData(archive, entries[k], *output, loaded.files[k], window);
                window.processEvents();
            }
            archive.flushToDevice();
        });
    if (refusal) {
        throw ToolError("cannot write " + workFolder.path() + std::string(kNewArchiveName) + ": " +
                        *refusal);
    }
    window.appendLog("Done!");
    return {};
}

}  // namespace zrk
