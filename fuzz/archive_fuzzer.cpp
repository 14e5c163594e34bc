// Feeds any bytes to Unpack as ZRK.DAT in a fresh folder, and checks that it
// either refuses them with a ToolError or writes only into Output; then that
// Repack takes what Unpack wrote, that Unpack takes what Repack wrote, and that
// the round trip gives the same files where the format can carry the entries.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "archive_directory.h"
#include "archive_format.h"
#include "errors.h"
#include "file.h"
#include "fuzz_checks.h"
#include "manifest.h"
#include "manifest_loading.h"
#include "repack_job.h"
#include "scratch_folder.h"
#include "unpack_job.h"

namespace zrk::fuzz {

namespace {

namespace fs = std::filesystem;

// True when the job ran to its end; a ToolError is a clean refusal. Any other
// exception escapes and is a finding.
bool runJob(const std::function<void()>& job) {
    try {
        job();
        return true;
    } catch (const ToolError&) {
        return false;
    }
}

// Unpack leaves ZRK.DAT as it was and writes nothing beside it but Output.
void requireOnlyOutputBeside(const ScratchFolder& folder, const std::string& archive,
                             const char* extra = nullptr) {
    for (const fs::directory_entry& item : fs::directory_iterator(folder.path())) {
        std::string name = item.path().filename().string();
        require(name == "ZRK.DAT" || name == "Output" || (extra != nullptr && name == extra),
                "nothing is written beside Output");
    }
    require(readWholeFile(folder.path() / "ZRK.DAT") == archive, "ZRK.DAT stays as it was");
}

// The directory as Unpack reads it, from an archive that Unpack took.
std::vector<ArchiveEntry> directoryOf(const ScratchFolder& folder) {
    File archive = File::openForReading((folder.path() / "ZRK.DAT").string());
    LogWindow ignored;
    return readArchiveDirectory(archive, archive.size(), ignored);
}

// The file an entry name stands for below Output: both separators split
// folders, and empty and "." parts add no level.
std::string normalPath(const std::string& name) {
    std::string path;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = std::min(name.find_first_of("\\/", start), name.size());
        std::string part = name.substr(start, end - start);
        if (!part.empty() && part != ".") {
            path += (path.empty() ? "" : "/") + part;
        }
        start = end + 1;
    }
    return path;
}

// An entry that a manifest line carries unchanged into a new archive and back:
// a name of at most 19 characters that the manifest reader neither splits nor
// trims, and for a PCM name the declared length that Repack will set.
bool entryCarries(const ArchiveEntry& entry) {
    const std::string& name = entry.name;
    return !name.empty() && name.size() <= kNameWidth && name.find(',') == std::string::npos &&
           name.front() != ' ' && name.back() != ' ' &&
           (kindForName(name) != kKindPcm || entry.declaredLength == entry.dataLength);
}

// Output after a full run: the manifest and one file per entry, in its folders.
FolderTree expectedOutput(const std::vector<ArchiveEntry>& entries, const std::string& archive) {
    FolderTree tree;
    std::string manifest;
    for (const ArchiveEntry& entry : entries) {
        manifest += formatManifestLine(entry);
        std::string path = ansiToNative(normalPath(entry.name));
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            tree[path.substr(0, slash)] = "<folder>";
        }
        tree[path] = entry.dataLength == 0
                         ? std::string()
                         : archive.substr(static_cast<std::size_t>(entry.dataOffset) - 1,
                                          static_cast<std::size_t>(entry.dataLength));
    }
    tree["manifest.txt"] = manifest;
    return tree;
}

// Where every entry carries, goes to a file of its own and was written, the
// round trip through Repack must give back the same Output.
bool roundTripHolds(const std::vector<ArchiveEntry>& entries, const LogWindow& unpackLog) {
    if (unpackLog.logged("Unable to write")) {
        return false;
    }
    std::set<std::string> paths;
    for (const ArchiveEntry& entry : entries) {
        if (!entryCarries(entry) || !paths.insert(normalPath(entry.name)).second) {
            return false;
        }
    }
    return true;
}

// True when the archive is exactly what Repack writes for its own entries.
bool isRepackLayout(const std::vector<ArchiveEntry>& entries, const std::string& archive) {
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(entries.size()));
    std::string rebuilt(header.begin(), header.end());
    std::int64_t next = recordPosition(static_cast<std::int64_t>(entries.size()) + 1);
    for (ArchiveEntry entry : entries) {
        if (entry.dataOffset != next) {
            return false;
        }
        next += entry.dataLength;
        entry.kind = kindForName(entry.name);
        DirectoryRecord record = encodeDirectoryRecord(entry);
        rebuilt.append(record.begin(), record.end());
    }
    if (next - 1 != static_cast<std::int64_t>(archive.size())) {
        return false;
    }
    rebuilt.append(archive, rebuilt.size());
    return rebuilt == archive;
}

void checkUnpackedOutput(const ScratchFolder& folder, const std::string& archive,
                         const std::vector<ArchiveEntry>& entries, const LogWindow& log) {
    require(log.lines.size() >= 2 + entries.size() && log.lines.back() == "Done!",
            "a finished Unpack logs every entry and Done!");
    std::string manifest;
    for (const ArchiveEntry& entry : entries) {
        manifest += formatManifestLine(entry);
    }
    require(readWholeFile(folder.path() / "Output" / "manifest.txt") == manifest,
            "the manifest lists every entry in directory order");
    if (roundTripHolds(entries, log)) {
        require(readTree(folder.path() / "Output") == expectedOutput(entries, archive),
                "Output holds the manifest and every entry's bytes, and nothing else");
    }
}

// Repack over what Unpack wrote; gives ZRK.NEW, or nothing when it refused.
std::optional<std::string> repackOutput(const ScratchFolder& folder, const std::string& archive) {
    FolderTree before = readTree(folder.path() / "Output");
    LogWindow log;
    bool repacked = runJob([&] { runRepack(log, folder.workDir()); });
    require(readTree(folder.path() / "Output") == before, "Repack changes nothing in Output");
    requireOnlyOutputBeside(folder, archive, repacked ? "ZRK.NEW" : nullptr);
    if (!repacked) {
        return std::nullopt;
    }
    require(log.lines.back() == "Done!", "a finished Repack logs Done!");
    return readWholeFile(folder.path() / "ZRK.NEW");
}

void checkRoundTrip(const ScratchFolder& first, const std::string& archive,
                    const std::vector<ArchiveEntry>& entries, const LogWindow& unpackLog) {
    std::optional<std::string> newArchive = repackOutput(first, archive);
    if (!newArchive) {
        // Repack may refuse what Unpack wrote only where the names cannot carry.
        require(!roundTripHolds(entries, unpackLog), "Repack takes what Unpack wrote");
        return;
    }
    ScratchFolder second;
    writeWholeFile(second.path() / "ZRK.DAT", *newArchive);
    LogWindow log;
    bool unpacked = runJob([&] { runUnpack(log, second.workDir()); });
    requireOnlyOutputBeside(second, *newArchive);
    // Otherwise names cut to 19 characters may clash, a file with a folder.
    if (!roundTripHolds(entries, unpackLog)) {
        return;
    }
    require(unpacked, "Unpack takes what Repack wrote from entries that carry");
    require(readTree(second.path() / "Output") == readTree(first.path() / "Output"),
            "Unpack, Repack, Unpack gives the same Output as Unpack");
    if (isRepackLayout(entries, archive)) {
        require(*newArchive == archive, "Repack gives back an archive that Repack wrote");
    }
}

}  // namespace

}  // namespace zrk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zrk::fuzz;
    std::string archive(reinterpret_cast<const char*>(data), size);
    ScratchFolder first;
    writeWholeFile(first.path() / "ZRK.DAT", archive);
    LogWindow log;
    bool unpacked = runJob([&] { zrk::runUnpack(log, first.workDir()); });
    requireOnlyOutputBeside(first, archive);
    if (!unpacked) {
        return 0;
    }
    std::vector<zrk::ArchiveEntry> entries = directoryOf(first);
    checkUnpackedOutput(first, archive, entries, log);
    checkRoundTrip(first, archive, entries, log);
    return 0;
}
