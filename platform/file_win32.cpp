#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "errors.h"
#include "file.h"
#include "system_error_win32.h"

namespace zrk {

namespace {

// Largest single ReadFile/WriteFile; bigger requests can fail on network
// shares for lack of system resources, so they go in parts.
constexpr std::size_t kMaxCallSize = 64 << 20;

HANDLE osHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

bool isHiddenButWritable(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0 &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

DWORD callSize(std::size_t remaining) {
    return static_cast<DWORD>(std::min(remaining, kMaxCallSize));
}

// Creates or empties the file; INVALID_HANDLE_VALUE with the last error set
// when it cannot.
HANDLE createFile(const std::string& path, DWORD flags) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED &&
        isHiddenButWritable(path)) {
        // CREATE_ALWAYS refuses to replace a hidden or system file; emptying
        // it in place replaces its content all the same.
        handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    }
    return handle;
}

}  // namespace

File File::createForWriting(const std::string& path) {
    HANDLE handle = createFile(path, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError("cannot create", path);
    }
    return File(reinterpret_cast<std::intptr_t>(handle), path);
}

File File::openForReading(const std::string& path) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError("cannot open", path);
    }
    return File(reinterpret_cast<std::intptr_t>(handle), path);
}

void File::closeQuietly(std::intptr_t handle) noexcept {
    ::CloseHandle(osHandle(handle));
}

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

void File::close() {
    if (handle_ == kNoHandle) {
        return;
    }
    if (!::CloseHandle(osHandle(std::exchange(handle_, kNoHandle)))) {
        failWithLastError("cannot close", path_);
    }
}

std::int64_t copyAvailableInOneGo(File& from, std::int64_t fromOffset, File& to,
                                  std::int64_t toOffset, std::int64_t length) {
    return copyAvailableThroughBuffer(from, fromOffset, to, toOffset, length);
}

}  // namespace zrk
