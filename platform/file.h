#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "field_codecs.h"

namespace zrk {

// A file opened through the operating system's own handle, without a user-space
// write buffer: every byte handed to writeAt is in the file once it returns,
// however the process ends afterwards. Offsets are zero-based. Failures raise
// ToolError naming the file.
class File {
public:
    static File openForReading(const std::string& path);
    // Creates the file, or empties an existing one.
    static File createForWriting(const std::string& path);

    File(File&& other) noexcept;
    File& operator=(File&& other) = delete;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    const std::string& path() const { return path_; }
    std::int64_t size() const;

    // Reads up to out.size() bytes; fewer only where the file ends.
    std::size_t readAt(std::int64_t offset, MutableByteView out);
    // Reads exactly out.size() bytes or raises an error.
    void readExactlyAt(std::int64_t offset, MutableByteView out);
    void writeAt(std::int64_t offset, ByteView data);
    void close();

private:
    friend class Folder;
    friend std::int64_t copyAvailableInOneGo(File& from, std::int64_t fromOffset, File& to,
                                             std::int64_t toOffset, std::int64_t length);

    // -1 is no handle on both systems (INVALID_HANDLE_VALUE on Windows).
    static constexpr std::intptr_t kNoHandle = -1;

    File(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    // Closes a handle on the way out of a scope, where an error has nowhere to go.
    static void closeQuietly(std::intptr_t handle) noexcept;

    std::intptr_t handle_;
    std::string path_;
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

// copyAvailableBytes through a buffer of at most 1 MiB, for systems or files
// where the kernel cannot copy by itself.
std::int64_t copyAvailableThroughBuffer(File& from, std::int64_t fromOffset, File& to,
                                        std::int64_t toOffset, std::int64_t length);

}  // namespace zrk
