#include "archive_window.h"

#include <algorithm>

namespace zrk {

namespace {

constexpr std::int64_t kWindowSize = 256 * 1024;
// A larger entry goes straight from the archive to its file, copied by the
// system.
constexpr std::int64_t kLargestFromWindow = kWindowSize / 4;

}  // namespace

// Not zero-filled: every byte is read into before it is written.
ArchiveWindow::ArchiveWindow(File& archive)
    : archive_(archive),
      bytes_(
          std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(kWindowSize))) {}

std::int64_t ArchiveWindow::copy(std::int64_t offset, std::int64_t length, File& out,
                                 const std::function<void()>& betweenPieces) {
    if (length > kLargestFromWindow) {
        return copyAvailableBytes(archive_, offset, out, 0, length, betweenPieces);
    }
    if (offset < start_ || offset + length > end_) {
        MutableByteView window(bytes_.get(), static_cast<std::size_t>(kWindowSize));
        start_ = offset;
        end_ = offset + static_cast<std::int64_t>(archive_.readAt(offset, window));
    }
    std::int64_t available = std::clamp<std::int64_t>(end_ - offset, 0, length);
    out.writeAt(0, ByteView(bytes_.get() + (offset - start_), static_cast<std::size_t>(available)));
    return available;
}

}  // namespace zrk
