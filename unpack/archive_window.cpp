#include "archive_window.h"

#include <algorithm>

namespace zrk {

namespace {

constexpr std::int64_t kWindowSize = 256 * 1024;
// A larger entry goes straight from the archive to its file, copied by the
// system.
constexpr std::int64_t kLargestFromWindow = kWindowSize / 4;

}  // namespace

std::int64_t ArchiveWindow::copy(std::int64_t offset, std::int64_t length, File& out,
                                 const std::function<void()>& betweenPieces) {
    if (length > kLargestFromWindow) {
        return copyAvailableBytes(archive_, offset, out, 0, length, betweenPieces);
    }
    auto end = start_ + static_cast<std::int64_t>(bytes_.size());
    if (offset < start_ || offset + length > end) {
        bytes_.resize(static_cast<std::size_t>(kWindowSize));
        bytes_.resize(archive_.readAt(offset, bytes_));
        start_ = offset;
        end = offset + static_cast<std::int64_t>(bytes_.size());
    }
    std::int64_t available = std::clamp<std::int64_t>(end - offset, 0, length);
    out.writeAt(0, ByteView(bytes_).subspan(static_cast<std::size_t>(offset - start_),
                                            static_cast<std::size_t>(available)));
    return available;
}

}  // namespace zrk
