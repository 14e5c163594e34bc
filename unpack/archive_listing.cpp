#include "archive_listing.h"

#include <string>
#include <vector>

#include "archive_directory.h"
#include "errors.h"
#include "work_files.h"

namespace zrk {

namespace {

// Wide enough for any value of a 32-bit field, so that the columns line up.
constexpr std::size_t kColumnWidth = 10;

std::string column(std::int32_t value) {
    std::string digits = std::to_string(value);
    return std::string(digits.size() < kColumnWidth ? kColumnWidth - digits.size() : 0, ' ') +
           digits;
}

}  // namespace

JobReport listArchive(ToolWindow& window, const Folder& workFolder) {
    if (!holdsArchive(workFolder)) {
        return {false, "no ZRK.DAT in " + workFolder.path(), true};
    }
    File archive = workFolder.openForReading(kArchiveName, Links::Follow);
    std::int64_t archiveSize = archive.size();
    checkArchiveHoldsHeader(archive, archiveSize);
    std::vector<ArchiveEntry> entries = readArchiveDirectory(archive, archiveSize, window);
    std::int64_t number = 0;
    for (const ArchiveEntry& entry : entries) {
        checkEntryInsideArchive(entry, ++number, archive, archiveSize);
        window.appendLog(column(entry.dataLength) + " " + column(entry.declaredLength) + " " +
                         entry.name);
    }
    archive.close();
    return {};
}

}  // namespace zrk
