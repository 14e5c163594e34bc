#include <windows.h>

#include <algorithm>

#include "file.h"
#include "system_error.h"

namespace zrk {

namespace {

// Largest single ReadFile/WriteFile; bigger requests can fail on network
// shares for lack of system resources, so they go in parts.
constexpr std::size_t kMaxCallSize = 64 << 20;

HANDLE osHandle(const OsHandle& handle) {
    return reinterpret_cast<HANDLE>(handle.get());
}

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

DWORD callSize(std::size_t remaining) {
    return static_cast<DWORD>(std::min(remaining, kMaxCallSize));
}

}  // namespace

std::int64_t File::size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(osHandle(handle_), &size)) {
        failWithLastError("cannot measure", path_);
    }
    return size.QuadPart;
}

std::size_t File::readAt(std::int64_t offset, MutableByteView out) {
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED position = at(offset + static_cast<std::int64_t>(done));
        DWORD got = 0;
        if (!::ReadFile(osHandle(handle_), out.data() + done, callSize(out.size() - done), &got,
                        &position)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            failWithLastError("cannot read", path_);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void File::writeAt(std::int64_t offset, ByteView data) {
    std::size_t done = 0;
    while (done < data.size()) {
        OVERLAPPED position = at(offset + static_cast<std::int64_t>(done));
        DWORD put = 0;
        if (!::WriteFile(osHandle(handle_), data.data() + done, callSize(data.size() - done), &put,
                         &position) ||
            put == 0) {
            failWithLastError("cannot write", path_);
        }
        done += put;
    }
}

void File::flushToDevice() {
    if (!::FlushFileBuffers(osHandle(handle_))) {
        failWithLastError("cannot write", path_);
    }
}

std::int64_t copyAvailableInOneGo(File& from, std::int64_t fromOffset, File& to,
                                  std::int64_t toOffset, std::int64_t length) {
    return copyAvailableThroughBuffer(from, fromOffset, to, toOffset, length);
}

}  // namespace zrk
