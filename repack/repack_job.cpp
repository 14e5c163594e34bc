#include "repack_job.h"

#include <functional>
#include <memory>
#include <vector>

#include "archive_format.h"
#include "errors.h"
#include "file.h"
#include "folder.h"
#include "manifest_loading.h"
#include "work_files.h"
#include "work_folder.h"

namespace zrk {

namespace {

// The most bytes that go out in one write: of small entries, and of records.
constexpr std::size_t kPieceSize = 256 * 1024;
constexpr std::size_t kDirectoryPiece = 64 * 1024;

void writeHeader(File& archive, std::size_t entryCount) {
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(entryCount));
    archive.writeAt(0, header);
}

// The records go out in large pieces, yet without a copy of the whole
// directory; the window still gets its turn per record.
void writeDirectory(ToolWindow& window, File& archive, const std::vector<ArchiveEntry>& entries) {
    std::vector<std::uint8_t> piece;
    piece.reserve(kDirectoryPiece);
    std::int64_t at = fileOffset(recordPosition(1));
    for (std::size_t k = 0; k < entries.size(); ++k) {
        DirectoryRecord record = encodeDirectoryRecord(entries[k]);
        piece.insert(piece.end(), record.begin(), record.end());
        if (piece.size() + kRecordSize > kDirectoryPiece || k + 1 == entries.size()) {
            archive.writeAt(at, piece);
            at += static_cast<std::int64_t>(piece.size());
            piece.clear();
        }
        window.processEvents();
    }
}

// The entries' bytes on their way into the archive, one entry after the
// other: small entries gathered, so that many go out in one write; a large
// one copied by the system, straight from its file.
class EntryData {
public:
    EntryData(File& archive, std::int64_t start)
        : archive_(archive),
          next_(start),
          // Not zero-filled: every byte is read into before it is written.
          gathered_(std::make_unique_for_overwrite<std::uint8_t[]>(kPieceSize)) {}

    // Copies up to `length` bytes from the start of `source`: gives how many
    // there were.
    std::int64_t copy(File& source, std::int64_t length, const std::function<void()>& between) {
        auto size = static_cast<std::size_t>(length);
        if (size > kPieceSize / 4) {
            flush();
            std::int64_t copied = copyAvailableBytes(source, 0, archive_, next_, length, between);
            next_ += copied;
            return copied;
        }
        if (filled_ + size > kPieceSize) {
            flush();
        }
        std::size_t got = source.readAt(0, MutableByteView(gathered_.get() + filled_, size));
        filled_ += got;
        return static_cast<std::int64_t>(got);
    }

    void flush() {
        archive_.writeAt(next_, ByteView(gathered_.get(), filled_));
        next_ += static_cast<std::int64_t>(filled_);
        filled_ = 0;
    }

private:
    File& archive_;
    std::int64_t next_;  // where the next byte goes
    std::unique_ptr<std::uint8_t[]> gathered_;
    std::size_t filled_ = 0;
};

// Copies the entry's bytes from the very file that was measured, at the length
// it had then; a file changed since, or while it is copied, ends the run.
void copyEntryData(EntryData& data, const ArchiveEntry& entry, const Folder& output,
                   const FileId& measured, ToolWindow& window) {
    // The same way below Output as when it was measured, refusing a link that
    // appeared since.
    File source = output.openMeasured(RelativePath::fromEntryName(entry.name).value(), measured,
                                      entry.dataLength);
    std::int64_t copied = data.copy(source, entry.dataLength, [&] { window.processEvents(); });
    if (copied < entry.dataLength) {
        throw ToolError(source.path() +
                        " became shorter while it was copied: " + std::to_string(copied) +
                        " of its " + std::to_string(entry.dataLength) + " bytes were there");
    }
    source.close();
}

}  // namespace

JobReport runRepack(ToolWindow& window, const Folder& workFolder) {
    // Output may be a link: where it lies is the user's choice. The manifest
    // in it is read as the entries are, never through a link.
    std::optional<Folder> output = workFolder.openFolder(kOutputFolderName, false);
    OsHandle outputLock = output ? lockForTheRun(*output) : OsHandle();
    workFolder.removeFile(kNewArchiveName);
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
            EntryData data(archive, fileOffset(firstDataPosition(std::ssize(entries))));
            for (std::size_t k = 0; k < entries.size(); ++k) {
                window.appendLog("Repacking " + entries[k].name + "...");
                copyEntryData(data, entries[k], *output, loaded.files[k], window);
                window.processEvents();
            }
            data.flush();
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
