#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

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

inline constexpr std::uint8_t KindPcm = 0;
inline constexpr std::uint8_t KindOther = 1;

// One directory entry as both jobs hold it in memory.
struct ArchiveEntry {
    std::string name;  // the archive's single-byte characters
    std::uint8_t kind = KindOther;
    std::int32_t dataLength = 0;
    std::int32_t declaredLength = 0;
    std::int32_t dataOffset = 0;  // position of the first data byte, from 1

    bool operator==(const ArchiveEntry&) const = default;
};

// The raw on-disk forms.
using ArchiveHeader = std::array<std::uint8_t, kHeaderSize>;
using DirectoryRecord = std::array<std::uint8_t, kRecordSize>;

// Header holding the magic and `entryCount` - 1; fails for an empty archive.
ArchiveHeader encodeArchiveHeader(std::int32_t entryCount);

// `number` counts records from 1 and only names the record in error messages.
ArchiveEntry decodeDirectoryRecord(ByteView record, std::int64_t number);
DirectoryRecord encodeDirectoryRecord(const ArchiveEntry& entry);

// Position of record `number` (from 1) in the file, counted from 1.
constexpr std::int64_t recordPosition(std::int64_t number) {
    return kFirstRecordPosition + static_cast<std::int64_t>(kRecordSize) * (number - 1);
}

}  // namespace zrk
