// Any bytes as ZRK.DAT. Unpack may refuse them only with a ToolError, and
// writes nothing but Output. Where every entry got a file of its own under a
// name that a manifest line carries, Repack takes Output, changes nothing in it
// and writes ZRK.NEW, from which Unpack gives the same Output.
#undef NDEBUG  // a failed check aborts, and libFuzzer keeps the input
#include <cassert>

#include <algorithm>

#include "archive_directory.h"
#include "errors.h"
#include "repack_job.h"
#include "support.h"
#include "unpack_job.h"
#include "utf8_text.h"
#include "work_files.h"

using namespace zrk;

// A name that a manifest line neither cuts, splits at a comma nor trims, and
// the declared length that Repack gives.
static bool carries(const ArchiveEntry& entry) {
    std::string_view name = entry.name;
    return name.size() <= kNameWidth && name.find(',') == name.npos && !name.starts_with(' ') &&
           !name.ends_with(' ') &&
           (kindForName(name) != kKindPcm || entry.declaredLength == entry.dataLength);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string archive(reinterpret_cast<const char*>(data), size);
    test::WorkFolder first;
    first.write("ZRK.DAT", archive);
    test::RecordingWindow log;
    try {
        runUnpack(log, Folder::open(first.path()));
    } catch (const ToolError&) {
    }
    test::Tree tree = first.tree();
    test::Tree beside = tree;  // all but Output
    std::erase_if(beside, [](const auto& item) { return item.first.starts_with("work/Output/"); });
    assert(beside == test::Tree({{"work/", "/"}, {"work/ZRK.DAT", archive}}));
    if (log.lines.size() < 2) {
        return 0;  // the directory did not read
    }
    File file = Folder::open(first.path()).openForReading(kArchiveName, Links::Follow);
    std::vector<ArchiveEntry> entries = readArchiveDirectory(file, file.size(), log);

    auto files = std::ranges::count_if(tree, [](auto& item) { return !item.first.ends_with('/'); });
    // A manifest whose first name begins as a byte order mark does is refused
    // as one saved in UTF-8.
    if (log.lines.back() != "Done!" || files != std::ssize(entries) + 2 ||
        !std::ranges::all_of(entries, carries) || startsWithUtf8ByteOrderMark(entries[0].name)) {
        return 0;  // not every entry has a file of its own, under a name that carries
    }
    runRepack(log,
              Folder::open(first.path()));  // a ToolError escapes: Repack refused what Unpack wrote
    tree["work/ZRK.NEW"] = first.read("ZRK.NEW");
    assert(first.tree() == tree);
    tree["work/ZRK.DAT"] = tree["work/ZRK.NEW"];
    test::WorkFolder second;
    second.make({{"work/ZRK.DAT", tree["work/ZRK.DAT"]}, {"work/ZRK.NEW", tree["work/ZRK.NEW"]}});
    runUnpack(
        log, Folder::open(second.path()));  // a ToolError escapes: Unpack refused what Repack wrote
    assert(second.tree() == tree);
    return 0;
}
