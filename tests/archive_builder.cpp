#include "archive_builder.h"

#include <algorithm>
#include <stdexcept>

namespace zrk::test {

bool endsInPcm(std::string_view name) {
    if (name.size() < 3) {
        return false;
    }
    std::string last(name.substr(name.size() - 3));
    std::transform(last.begin(), last.end(), last.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    return last == "PCM";
}

ArchiveBuilder& ArchiveBuilder::add(std::string name, Bytes data, std::optional<std::uint8_t> kind,
                                    std::optional<std::int32_t> declaredLength) {
    std::uint8_t theKind = kind.value_or(endsInPcm(name) ? kKindPcm : kKindOther);
    auto length = static_cast<std::int32_t>(data.size());
    items_.push_back({std::move(name), std::move(data), theKind, declaredLength.value_or(length)});
    return *this;
}

std::vector<ArchiveEntry> ArchiveBuilder::entries() const {
    std::vector<ArchiveEntry> entries;
    std::int64_t next = recordPosition(static_cast<std::int64_t>(items_.size()) + 1);
    for (const Item& item : items_) {
        auto length = static_cast<std::int32_t>(item.data.size());
        entries.push_back(
            {item.name, item.kind, length, item.declaredLength, static_cast<std::int32_t>(next)});
        next += length;
    }
    return entries;
}

ArchiveBuilder::Bytes ArchiveBuilder::build() const {
    Bytes archive(kHeaderSize + kRecordSize * items_.size());
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(items_.size()));
    std::copy(header.begin(), header.end(), archive.begin());
    std::vector<ArchiveEntry> directory = entries();
    for (std::size_t i = 0; i < directory.size(); ++i) {
        DirectoryRecord record = encodeDirectoryRecord(directory[i]);
        std::copy(record.begin(), record.end(), archive.begin() + (recordPosition(i + 1) - 1));
    }
    for (const Item& item : items_) {
        archive.insert(archive.end(), item.data.begin(), item.data.end());
    }
    return archive;
}

void setRecordField(std::vector<std::uint8_t>& archive, std::int64_t number,
                    std::size_t fieldOffset, std::uint32_t value) {
    auto at = static_cast<std::size_t>(recordPosition(number) - 1) + fieldOffset;
    if (at + kFieldWidth > archive.size()) {
        throw std::out_of_range("field beyond the end of the archive bytes");
    }
    for (std::size_t i = 0; i < kFieldWidth; ++i) {
        archive[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace zrk::test
