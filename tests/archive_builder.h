#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive_format.h"

namespace zrk::test {

// Builds archive bytes for tests: entries laid out as Repack writes them
// (header, directory, then the data in directory order), after which any field
// can be set to any bytes, sound or not.
class ArchiveBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // The name's characters are stored as they are (cut to 19, zero-filled), so
    // raw bytes such as a zero in the middle can be given. The kind follows the
    // name's last three letters and declaredLength is the data's length, unless
    // given.
    ArchiveBuilder& add(std::string name, Bytes data, std::optional<std::uint8_t> kind = {},
                        std::optional<std::int32_t> declaredLength = {});

    // The directory as Repack would write it, dataOffset included.
    std::vector<ArchiveEntry> entries() const;
    // Needs at least one entry, as the header's count cannot hold -1.
    Bytes build() const;

private:
    struct Item {
        std::string name;
        Bytes data;
        std::uint8_t kind;
        std::int32_t declaredLength;
    };
    std::vector<Item> items_;
};

// Whether the name's last three letters are PCM in any case: the kind it gives.
bool endsInPcm(std::string_view name);

// Sets a 32-bit field (kDataLengthOffset, kDeclaredLengthOffset or
// kDataOffsetOffset) of record `number` (from 1) to any 32-bit pattern, also
// those the format does not allow.
void setRecordField(std::vector<std::uint8_t>& archive, std::int64_t number,
                    std::size_t fieldOffset, std::uint32_t value);

}  // namespace zrk::test
