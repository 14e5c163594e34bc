// Feeds any bytes to Repack as Output's manifest, beside a few fixed entry
// files, and checks that loading either refuses them with a ToolError or plans
// a layout the archive can hold, that the reader splits the lines the same
// however its reads are cut, and that ZRK.NEW is exactly the planned archive.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive_format.h"
#include "errors.h"
#include "fuzz_checks.h"
#include "manifest.h"
#include "manifest_loading.h"
#include "native_path.h"
#include "repack_job.h"
#include "scratch_folder.h"
#include "work_files.h"

namespace zrk::fuzz {

namespace {

namespace fs = std::filesystem;

// Two of these make an archive too long for 32-bit positions.
constexpr std::uintmax_t kBigFileLength = 1 << 30;
// Repack runs only where copying stays quick.
constexpr std::int64_t kLargestRepacked = 1 << 20;

// Files a fuzzed manifest can name; the fuzzer finds their names in the seeds.
void writeEntryFiles(const ScratchFolder& folder) {
    fs::path output = folder.path() / "Output";
    fs::create_directories(output / "SUB");
    fs::create_directories(output / "DIR");
    writeWholeFile(output / "A.PCM", "0123456789");
    writeWholeFile(output / "B.BIN", "abc");
    writeWholeFile(output / "EMPTY.BIN", "");
    writeWholeFile(output / "SUB" / "C.pcm", "\x01\x02\x03\x04\x05");
    writeWholeFile(output / "BIG.BIN", "");
    fs::resize_file(output / "BIG.BIN", kBigFileLength);  // sparse: takes no memory
}

// All lines, or nothing when the reader refused the text.
std::optional<std::vector<ManifestLine>> readLines(const std::string& text,
                                                   std::size_t largestRead) {
    std::size_t at = 0;
    std::size_t turn = 0;
    ManifestReader reader([&](char* buffer, std::size_t size) {
        // Reads of varying size, never more than asked, so that lines and line
        // ends straddle the reader's refills.
        std::size_t want = std::min({size, text.size() - at, 1 + (turn++ * 7) % largestRead});
        std::copy_n(text.data() + at, want, buffer);
        at += want;
        return want;
    });
    std::vector<ManifestLine> lines;
    try {
        while (std::optional<ManifestLine> line = reader.next()) {
            lines.push_back(std::move(*line));
        }
    } catch (const ToolError&) {
        return std::nullopt;
    }
    return lines;
}

bool sameLines(const std::optional<std::vector<ManifestLine>>& a,
               const std::optional<std::vector<ManifestLine>>& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return std::equal(a->begin(), a->end(), b->begin(), b->end(),
                      [](const ManifestLine& x, const ManifestLine& y) {
                          return x.name == y.name && x.value == y.value &&
                                 x.lineNumber == y.lineNumber;
                      });
}

// The planned directory is one the archive format can hold, with each entry's
// kind, lengths and position as the manifest and the files give them. Gives
// the planned archive's length.
std::int64_t checkLayout(const std::vector<ArchiveEntry>& entries,
                         const std::vector<ManifestLine>& lines, const ScratchFolder& folder) {
    require(!entries.empty() && entries.size() == lines.size(),
            "one entry per non-empty manifest line");
    std::int64_t next = firstDataPosition(static_cast<std::int64_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ArchiveEntry& entry = entries[i];
        require(entry.name == lines[i].name, "entries keep the manifest's names and order");
        require(entry.dataOffset == next, "the data follow the directory without gaps");
        require(entry.kind == kindForName(entry.name), "the kind follows the name");
        require(entry.dataLength >= 0 && entry.declaredLength >= 0, "lengths are not negative");
        require(entry.kind != kKindPcm || entry.declaredLength == entry.dataLength,
                "a PCM entry declares its file's length");
        require(fs::file_size(folder.workDir() + nativeRelativePath("Output\\" + entry.name)) ==
                    static_cast<std::uintmax_t>(entry.dataLength),
                "dataLength is the file's length");
        next += entry.dataLength;
    }
    require(next <= kLargestPosition, "the archive ends within the 32-bit positions");
    return next - 1;
}

// ZRK.NEW as the plan says: header, records, then each file's bytes.
std::string plannedArchive(const std::vector<ArchiveEntry>& entries, const ScratchFolder& folder) {
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(entries.size()));
    std::string archive(header.begin(), header.end());
    for (const ArchiveEntry& entry : entries) {
        DirectoryRecord record = encodeDirectoryRecord(entry);
        archive.append(record.begin(), record.end());
    }
    for (const ArchiveEntry& entry : entries) {
        archive += readWholeFile(folder.workDir() + nativeRelativePath("Output\\" + entry.name));
    }
    return archive;
}

void checkRepack(const std::vector<ArchiveEntry>& entries, const ScratchFolder& folder) {
    FolderTree before = readTree(folder.path() / "Output");
    LogWindow log;
    try {
        runRepack(log, folder.workDir());
    } catch (const ToolError&) {
        require(false, "Repack takes a manifest that loads");
    }
    require(readTree(folder.path() / "Output") == before, "Repack changes nothing in Output");
    require(readWholeFile(folder.path() / "ZRK.NEW") == plannedArchive(entries, folder),
            "ZRK.NEW is the planned archive");
}

}  // namespace

}  // namespace zrk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zrk::fuzz;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<std::vector<zrk::ManifestLine>> lines = readLines(text, size + 1);
    require(sameLines(lines, readLines(text, 5)), "lines do not depend on how reads are cut");

    ScratchFolder folder;
    writeEntryFiles(folder);
    writeWholeFile(folder.path() / "Output" / "manifest.txt", text);
    std::vector<zrk::ArchiveEntry> entries;
    try {
        entries = zrk::loadManifest(zrk::Folder::open(folder.workDir() + "Output"));
    } catch (const zrk::ToolError&) {
        return 0;
    }
    require(lines.has_value(), "a manifest that loads is one the reader splits");
    if (checkLayout(entries, *lines, folder) <= kLargestRepacked) {
        checkRepack(entries, folder);
    }
    return 0;
}
