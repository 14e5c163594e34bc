#include <algorithm>
#include <utility>
#include <vector>

#include "errors.h"
#include "file_handle.h"

namespace zrk {

namespace {

constexpr std::int64_t kCopyChunk = 1 << 20;

}  // namespace

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ != kNoHandle) {
            closeQuietly(handle_);
        }
        handle_ = std::exchange(other.handle_, kNoHandle);
        path_ = std::move(other.path_);
    }
    return *this;
}

File::~File() {
    if (handle_ != kNoHandle) {
        closeQuietly(handle_);
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

void copyBytesThroughBuffer(File& from, std::int64_t fromOffset, File& to, std::int64_t toOffset,
                            std::int64_t length) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(length, kCopyChunk)));
    while (length > 0) {
        auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(length, buffer.size()));
        MutableByteView part(buffer.data(), chunk);
        from.readExactlyAt(fromOffset, part);
        to.writeAt(toOffset, part);
        fromOffset += static_cast<std::int64_t>(chunk);
        toOffset += static_cast<std::int64_t>(chunk);
        length -= static_cast<std::int64_t>(chunk);
    }
}

}  // namespace zrk
