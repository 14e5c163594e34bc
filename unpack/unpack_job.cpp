#include "unpack_job.h"

#include <optional>
#include <vector>

#include "ansi_text.h"
#include "archive_directory.h"
#include "archive_format.h"
#include "archive_window.h"
#include "file.h"
#include "folder.h"
#include "manifest.h"
#include "relative_path.h"
#include "work_files.h"
#include "work_folder.h"

namespace zrk {

namespace {

constexpr std::size_t kManifestPiece = 64 * 1024;

// Where the run writes, and what it could not write there.
struct Target {
    std::optional<Folder> output;
    std::string outputRefusal;  // why there is no Output, when there is none
    FileId archive;             // no file of the run replaces it under another name
    bool manifestWritten = false;
    std::int64_t skipped = 0;
    std::string firstSkipped;  // the first entry not written, and why
};

// The manifest goes out whole before any entry, so that it lists every entry
// even when the run ends during extraction.
void writeManifest(const std::vector<ArchiveEntry>& entries, Target& target, ToolWindow& window) {
    std::optional<std::string> refusal =
        !target.output
            ? std::optional(target.outputRefusal)
            : target.output->writeFile(kManifestName, &target.archive, [&](File& out) {
                  // Written in large pieces, yet without a copy of the whole directory.
                  std::string text;
                  std::int64_t written = 0;
                  for (std::size_t k = 0; k < entries.size(); ++k) {
                      text += formatManifestLine(entries[k]);
                      if (text.size() >= kManifestPiece || k + 1 == entries.size()) {
                          out.writeAt(written,
                                      ByteView(reinterpret_cast<const std::uint8_t*>(text.data()),
                                               text.size()));
                          written += static_cast<std::int64_t>(text.size());
                          text.clear();
                      }
                      window.processEvents();
                  }
              });
    if (refusal) {
        window.appendLog("Unable to write manifest file");
        target.firstSkipped = "the manifest: " + *refusal;
    }
    target.manifestWritten = !refusal;
}

// Writes one entry's file; why not, where its name or its place cannot take it.
std::optional<std::string> extractEntry(File& archive, ArchiveWindow& window,
                                        const ArchiveEntry& entry, std::int64_t number,
                                        const Target& target, ToolWindow& log) {
    std::optional<RelativePath> path = RelativePath::fromEntryName(entry.name);
    if (!path) {
        return "its name cannot stand for a file inside Output";
    }
    // The manifest, written first, lists every entry; no entry may replace it.
    if (path->isTheManifest()) {
        return "it would replace the manifest";
    }
    if (!target.output) {
        return target.outputRefusal;
    }
    return target.output->writeFile(*path, &target.archive, [&](File& out) {
        if (entry.dataLength > 0) {
            checkEntryCopied(entry, number, archive,
                             window.copy(fileOffset(entry.dataOffset), entry.dataLength, out,
                                         [&] { log.processEvents(); }));
        }
    });
}

void extractEntries(File& archive, std::int64_t archiveSize,
                    const std::vector<ArchiveEntry>& entries, Target& target, ToolWindow& window) {
    std::int64_t number = 0;
    ArchiveWindow data(archive);
    for (const ArchiveEntry& entry : entries) {
        window.appendLog("Unpacking " + entry.name + "...");
        // Nothing is written for an entry whose bytes are not all in the archive.
        checkEntryInsideArchive(entry, ++number, archive, archiveSize);
        if (std::optional<std::string> refusal =
                extractEntry(archive, data, entry, number, target, window)) {
            window.appendLog("Unable to write " + entry.name + "!");
            if (target.firstSkipped.empty()) {
                target.firstSkipped = quote(entry.name) + ": " + *refusal;
            }
            ++target.skipped;
        }
        window.processEvents();
    }
}

JobReport reportOf(const Target& target, std::size_t entryCount) {
    if (target.manifestWritten && target.skipped == 0) {
        return {};
    }
    std::string entries =
        std::to_string(target.skipped) + " of " + std::to_string(entryCount) + " entries";
    std::string what = target.manifestWritten ? entries
                       : target.skipped == 0  ? "the manifest"
                                              : "the manifest and " + entries;
    return {false, what + " not written; the first, " + target.firstSkipped};
}

}  // namespace

JobReport runUnpack(ToolWindow& window, const Folder& workFolder) {
    if (!holdsArchive(workFolder)) {
        window.appendLog("ZRK.DAT not found!");
        return {false, "no ZRK.DAT in " + workFolder.path(), true};
    }
    Target target;
    PathStatus facts;
    File archive = workFolder.openForReading(kArchiveName, Links::Follow, &facts);
    target.archive = facts.id;
    std::int64_t archiveSize = archive.size();
    checkArchiveHoldsHeader(archive, archiveSize);
    window.appendLog("Reading metadata...");
    std::vector<ArchiveEntry> entries = readArchiveDirectory(archive, archiveSize, window);
    window.appendLog("Writing manifest file...");
    // Output itself may be a link: where it lies is the user's choice.
    std::string refusal;
    target.output = workFolder.openFolder(kOutputFolderName, true, &refusal);
    OsHandle outputLock = target.output ? lockForTheRun(*target.output) : OsHandle();
    target.outputRefusal = workFolder.path() + std::string(kOutputFolderName) + ": " + refusal;
    writeManifest(entries, target, window);
    extractEntries(archive, archiveSize, entries, target, window);
    archive.close();
    window.appendLog("Done!");
    return reportOf(target, entries.size());
}

}  // namespace zrk
