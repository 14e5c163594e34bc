#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "field_codecs.h"
#include "os_handle.h"

namespace zrk {

// A file opened through the operating system's own handle, without a user-space
// write buffer: every byte handed to writeAt is in the file once it returns,
// however the process ends afterwards. Files are opened through a Folder.
// Offsets are zero-based. Failures raise ToolError naming the file.
class File {
public:
    File(OsHandle handle, std::string path) : handle_(std::move(handle)), path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    const OsHandle& handle() const { return handle_; }
    std::int64_t size() const;

    // Reads up to out.size() bytes; fewer only where the file ends.
    std::size_t readAt(std::int64_t offset, MutableByteView out);
    // Reads exactly out.size() bytes or raises an error.
    void readExactlyAt(std::int64_t offset, MutableByteView out);
    void writeAt(std::int64_t offset, ByteView data);
    // Has the system put every byte written so far on the device.
    void flushToDevice();
    void close();

private:
    OsHandle handle_;
    std::string path_;  // as messages show it
};

// The most bytes copyAvailableBytes moves between two calls of its
// `betweenPieces`: a window that gets its turn this often keeps answering.
inline constexpr std::int64_t kCopyPiece = 32 << 20;

// Copies up to `length` bytes between two files with a bounded amount of
// memory, calling `betweenPieces` after each piece of kCopyPiece bytes that
// more bytes follow: gives the number of bytes copied, fewer than `length` only
// where the source ends.
std::int64_t copyAvailableBytes(File& from, std::int64_t fromOffset, File& to,
                                std::int64_t toOffset, std::int64_t length,
                                const std::function<void()>& betweenPieces);

// copyAvailableBytes in one piece, the system's own way.
std::int64_t copyAvailableInOneGo(File& from, std::int64_t fromOffset, File& to,
                                  std::int64_t toOffset, std::int64_t length);

// copyAvailableInOneGo through a buffer of at most 1 MiB, for systems or files
// where the kernel cannot copy by itself.
std::int64_t copyAvailableThroughBuffer(File& from, std::int64_t fromOffset, File& to,
                                        std::int64_t toOffset, std::int64_t length);

}  // namespace zrk
