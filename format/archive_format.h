#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "field_codecs.h"

namespace zrk {

// The archive: a 16-byte header, a directory of 32-byte records, then the
// entries' data. Positions are counted from 1, also in the dataOffset field.

inline constexpr std::string_view kMagic = "ZRK.DAT 1.00";
inline constexpr std::size_t kMagicWidth = 12;
inline constexpr std::size_t kCountOffset = 12;
inline constexpr std::size_t kHeaderSize = 16;

inline constexpr std::size_t kRecordSize = 32;
inline constexpr std::size_t kNameWidth = 19;
inline constexpr std::size_t kNameOffset = 0;
inline constexpr std::size_t kKindOffset = 19;
inline constexpr std::size_t kDataLengthOffset = 20;
inline constexpr std::size_t kDeclaredLengthOffset = 24;
inline constexpr std::size_t kDataOffsetOffset = 28;

// Position of the first directory record, right after the header.
inline constexpr std::int64_t kFirstRecordPosition = kHeaderSize + 1;

// The largest value a 32-bit field holds. The position after an archive's
// last byte must not pass it, so the longest archive is one byte shorter.
inline constexpr std::int64_t kLargestPosition = 2147483647;

inline constexpr std::uint8_t kKindPcm = 0;
inline constexpr std::uint8_t kKindOther = 1;

// One directory entry as both jobs hold it in memory.
struct ArchiveEntry {
    // Text in the archive's single-byte code page. Unpack holds the stored
    // name with bytes below 0x20 written as escapes ("\0", "\10") and the
    // padding removed; Repack stores these characters as they stand.
    std::string name;
    std::uint8_t kind = kKindOther;
    std::int32_t dataLength = 0;
    std::int32_t declaredLength = 0;
    std::int32_t dataOffset = 0;  // position of the first data byte, from 1

    bool operator==(const ArchiveEntry&) const = default;
};

// The raw on-disk forms.
using ArchiveHeader = std::array<std::uint8_t, kHeaderSize>;
using DirectoryRecord = std::array<std::uint8_t, kRecordSize>;

// Zero-based file offset of a position.
constexpr std::int64_t fileOffset(std::int64_t position) {
    return position - 1;
}

// Position of record `number` (from 1).
constexpr std::int64_t recordPosition(std::int64_t number) {
    return kFirstRecordPosition + static_cast<std::int64_t>(kRecordSize) * (number - 1);
}

// Where the data of an archive of `entryCount` entries begin: right after
// the directory.
constexpr std::int64_t firstDataPosition(std::int64_t entryCount) {
    return recordPosition(entryCount + 1);
}

// The position after the last byte of an archive of `entryCount` entries
// holding `dataBytes` bytes of data in all; at most kLargestPosition.
constexpr std::int64_t archiveEnd(std::int64_t entryCount, std::int64_t dataBytes) {
    return firstDataPosition(entryCount) + dataBytes;
}

// A name as the directory's name field holds it: a longer one is cut.
constexpr std::string_view storedName(std::string_view name) {
    return name.substr(0, kNameWidth);
}

// kKindPcm for a name whose last three characters are "PCM" in any case.
std::uint8_t kindForName(std::string_view name);

// How a reader finds the end of the directory: records follow one another for
// as long as the next record's position is below the first record's
// dataOffset, and there is always at least one.
std::int64_t directoryRecordCount(std::int32_t firstDataOffset);

// Lays the entries' data out one after the other in list order, right after
// the directory, setting every dataOffset. The lengths must leave the archive
// within kLargestPosition (see archiveEnd).
void planLayout(std::vector<ArchiveEntry>& entries);

// Header holding the magic and `entryCount` - 1; fails for an empty archive.
ArchiveHeader encodeArchiveHeader(std::int32_t entryCount);

// `number` counts records from 1 and only names the record in error messages.
ArchiveEntry decodeDirectoryRecord(ByteView record, std::int64_t number);
DirectoryRecord encodeDirectoryRecord(const ArchiveEntry& entry);

}  // namespace zrk
