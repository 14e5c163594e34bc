// Any bytes as Output/manifest.txt beside a few fixed files. A manifest that
// loads gets a layout the archive can hold, and ZRK.NEW is exactly that
// archive.
#undef NDEBUG  // a failed check aborts, and libFuzzer keeps the input
#include <cassert>

#include <filesystem>

#include "errors.h"
#include "manifest_loading.h"
#include "repack_job.h"
#include "support.h"

using namespace zrk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // The files the seeds name; BIG.BIN is sparse, and two of it are too long.
    test::WorkFolder work;
    work.make({{"work/Output/A.PCM", "0123456789"},
               {"work/Output/B.BIN", "abc"},
               {"work/Output/EMPTY.BIN", ""},
               {"work/Output/SUB/C.pcm", "\1\2\3\4\5"},
               {"work/Output/BIG.BIN", "<sparse 1073741824>"}});
    work.write("Output\\manifest.txt", text);  // as it is, whatever it starts with
    std::vector<ArchiveEntry> entries;
    test::RecordingWindow log;
    try {
        entries = loadManifest(Folder::open(work.native("Output")), log).entries;
    } catch (const ToolError&) {
        return 0;
    }
    std::int64_t dataBytes = 0;
    std::vector<test::TestEntry> files;  // what Repack copies, where that stays quick
    for (const ArchiveEntry& entry : entries) {
        std::string path = "Output\\" + entry.name;
        assert(entry.dataOffset == firstDataPosition(std::ssize(entries)) + dataBytes);
        dataBytes += std::filesystem::file_size(work.native(path));
        files.push_back({entry.name, dataBytes > (1 << 20) ? "" : work.read(path),
                         kindForName(entry.name) == kKindPcm
                             ? std::nullopt
                             : std::optional(entry.declaredLength)});
    }
    assert(!entries.empty() && archiveEnd(std::ssize(entries), dataBytes) <= kLargestPosition);
    if (dataBytes <= (1 << 20)) {
        runRepack(log,
                  Folder::open(work.path()));  // a ToolError escapes: Repack refused what loads
        assert(work.read("ZRK.NEW") == test::archiveOf(files));
    }
    return 0;
}
