#include <algorithm>
#include <memory>
#include <utility>

#include "errors.h"
#include "file.h"
#include "system_error.h"

namespace zrk {

namespace {

constexpr std::int64_t kCopyChunk = 1 << 20;

}  // namespace

void File::close() {
    if (!handle_.close()) {
        failWithLastError("cannot close", path_);
    }
}

void File::readExactlyAt(std::int64_t offset, MutableByteView out) {
    std::size_t got = readAt(offset, out);
    if (got != out.size()) {
        throw ToolError(path_ + " ends early: " + std::to_string(out.size()) +
                        " bytes wanted at offset " + std::to_string(offset) + ", " +
                        std::to_string(got) + " there");
    }
}

std::int64_t copyAvailableBytes(File& from, std::int64_t fromOffset, File& to,
                                std::int64_t toOffset, std::int64_t length,
                                const std::function<void()>& betweenPieces) {
    std::int64_t copied = 0;
    while (copied < length) {
        std::int64_t piece = std::min(length - copied, kCopyPiece);
        std::int64_t got =
            copyAvailableInOneGo(from, fromOffset + copied, to, toOffset + copied, piece);
        copied += got;
        if (got < piece) {
            break;  // the source ends here
        }
        if (copied < length) {
            betweenPieces();
        }
    }
    return copied;
}

std::int64_t copyAvailableThroughBuffer(File& from, std::int64_t fromOffset, File& to,
                                        std::int64_t toOffset, std::int64_t length) {
    // Not zero-filled: every byte is read into before it is written.
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(
        static_cast<std::size_t>(std::min(length, kCopyChunk)));
    std::int64_t copied = 0;
    while (copied < length) {
        auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(length - copied, kCopyChunk));
        std::size_t got = from.readAt(fromOffset + copied, MutableByteView(buffer.get(), wanted));
        to.writeAt(toOffset + copied, ByteView(buffer.get(), got));
        copied += static_cast<std::int64_t>(got);
        if (got < wanted) {
            break;  // the source ends here
        }
    }
    return copied;
}

}  // namespace zrk
