#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "file.h"

namespace zrk {

// The archive's bytes around the last entry read. Entries lie one after the
// other, so that a small entry is most often there already: many small
// entries cost one read of the archive between them.
class ArchiveWindow {
public:
    explicit ArchiveWindow(File& archive);

    // Copies up to `length` bytes of the archive from `offset` to the start of
    // `out`, calling `betweenPieces` as copyAvailableBytes does: gives the
    // number of bytes copied, fewer only where the archive ends.
    std::int64_t copy(std::int64_t offset, std::int64_t length, File& out,
                      const std::function<void()>& betweenPieces);

private:
    File& archive_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::int64_t start_ = 0;  // the archive offset of the first byte held
    std::int64_t end_ = 0;    // and of the one after the last
};

}  // namespace zrk
