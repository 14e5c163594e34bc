#include "archive_format.h"

#include <algorithm>
#include <cctype>

#include "ansi_text.h"
#include "errors.h"

namespace zrk {

namespace {

constexpr std::string_view kPcmSuffix = "PCM";
constexpr auto kRecordBytes = static_cast<std::int64_t>(kRecordSize);

std::string fieldName(std::string_view field, std::int64_t number) {
    return std::string(field) + " of directory record " + std::to_string(number);
}

std::string fieldName(std::string_view field, const ArchiveEntry& entry) {
    return std::string(field) + " of entry " + quote(entry.name);
}

}  // namespace

std::uint8_t kindForName(std::string_view name) {
    if (name.size() < kPcmSuffix.size()) {
        return kKindOther;
    }
    std::string_view last = name.substr(name.size() - kPcmSuffix.size());
    bool isPcm = std::equal(last.begin(), last.end(), kPcmSuffix.begin(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == b;
    });
    return isPcm ? kKindPcm : kKindOther;
}

std::int64_t directoryRecordCount(std::int32_t firstDataOffset) {
    std::int64_t past = std::int64_t{firstDataOffset} - kFirstRecordPosition;
    return past <= kRecordBytes ? 1 : (past + kRecordBytes - 1) / kRecordBytes;
}

void planLayout(std::vector<ArchiveEntry>& entries) {
    std::int64_t next = firstDataPosition(static_cast<std::int64_t>(entries.size()));
    for (ArchiveEntry& entry : entries) {
        entry.dataOffset = static_cast<std::int32_t>(next);
        next += entry.dataLength;
    }
}

ArchiveHeader encodeArchiveHeader(std::int32_t entryCount) {
    ArchiveHeader header{};
    encodeText(kMagic, MutableByteView(header).subspan(0, kMagicWidth));
    encodeLe32(entryCount - 1, MutableByteView(header).subspan(kCountOffset, kFieldWidth),
               "entry count minus one");
    return header;
}

ArchiveEntry decodeDirectoryRecord(ByteView record, std::int64_t number) {
    if (record.size() < kRecordSize) {
        throw ToolError("directory record " + std::to_string(number) +
                        " is cut short: " + std::to_string(record.size()) + " of 32 bytes");
    }
    ArchiveEntry entry;
    entry.name = trimNulEscapes(decodeName(record.subspan(kNameOffset, kNameWidth)));
    entry.name.shrink_to_fit();  // the escaped padding made it several times longer
    entry.kind = record[kKindOffset];
    entry.dataLength =
        decodeLe32(record.subspan(kDataLengthOffset, kFieldWidth), fieldName("dataLength", number));
    entry.declaredLength = decodeLe32(record.subspan(kDeclaredLengthOffset, kFieldWidth),
                                      fieldName("declaredLength", number));
    entry.dataOffset =
        decodeLe32(record.subspan(kDataOffsetOffset, kFieldWidth), fieldName("dataOffset", number));
    return entry;
}

DirectoryRecord encodeDirectoryRecord(const ArchiveEntry& entry) {
    DirectoryRecord record{};
    MutableByteView bytes(record);
    encodeText(storedName(entry.name), bytes.subspan(kNameOffset, kNameWidth));
    record[kKindOffset] = entry.kind;
    encodeLe32(entry.dataLength, bytes.subspan(kDataLengthOffset, kFieldWidth),
               fieldName("dataLength", entry));
    encodeLe32(entry.declaredLength, bytes.subspan(kDeclaredLengthOffset, kFieldWidth),
               fieldName("declaredLength", entry));
    encodeLe32(entry.dataOffset, bytes.subspan(kDataOffsetOffset, kFieldWidth),
               fieldName("dataOffset", entry));
    return record;
}

}  // namespace zrk
