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

// Runs a codec on a field of a record, naming the field only where the codec
// fails: a name is too dear to make for every field that is fine.
template <typename Codec>
auto namedOnFailure(Codec codec, std::string_view field, const auto& record) {
    try {
        return codec();
    } catch (const OverflowError& error) {
        throw OverflowError(fieldName(field, record) + error.what());
    }
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
    // The zero bytes that pad a name decode to "\0" escapes that the trim
    // takes away again: left out, they cost nothing.
    ByteView name = record.subspan(kNameOffset, kNameWidth);
    while (!name.empty() && name.back() == 0) {
        name = name.first(name.size() - 1);
    }
    entry.name = trimNulEscapes(decodeName(name));
    entry.kind = record[kKindOffset];
    auto field = [&](std::string_view what, std::size_t offset) {
        return namedOnFailure([&] { return decodeLe32(record.subspan(offset, kFieldWidth), ""); },
                              what, number);
    };
    entry.dataLength = field("dataLength", kDataLengthOffset);
    entry.declaredLength = field("declaredLength", kDeclaredLengthOffset);
    entry.dataOffset = field("dataOffset", kDataOffsetOffset);
    return entry;
}

DirectoryRecord encodeDirectoryRecord(const ArchiveEntry& entry) {
    DirectoryRecord record{};
    MutableByteView bytes(record);
    encodeText(storedName(entry.name), bytes.subspan(kNameOffset, kNameWidth));
    record[kKindOffset] = entry.kind;
    auto field = [&](std::string_view what, std::int32_t value, std::size_t offset) {
        namedOnFailure([&] { encodeLe32(value, bytes.subspan(offset, kFieldWidth), ""); }, what,
                       entry);
    };
    field("dataLength", entry.dataLength, kDataLengthOffset);
    field("declaredLength", entry.declaredLength, kDeclaredLengthOffset);
    field("dataOffset", entry.dataOffset, kDataOffsetOffset);
    return record;
}

}  // namespace zrk
