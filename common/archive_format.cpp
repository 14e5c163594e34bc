#include "archive_format.h"

#include "ansi_text.h"
#include "errors.h"

namespace zrk {

namespace {

std::string fieldName(std::string_view field, std::int64_t number) {
    return std::string(field) + " of directory record " + std::to_string(number);
}

std::string fieldName(std::string_view field, const ArchiveEntry& entry) {
    return std::string(field) + " of entry \"" + ansiToNative(entry.name) + "\"";
}

}  // namespace

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
    encodeText(entry.name, bytes.subspan(kNameOffset, kNameWidth));
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
