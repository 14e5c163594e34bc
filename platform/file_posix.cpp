// Files through POSIX descriptors. No signal handler is installed in these
// programs, so no call here is interrupted (EINTR).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "errors.h"
#include "file.h"

namespace zrk {

namespace {

// Below this a read and a write cost less than setting up a kernel copy,
// which on some file systems goes through an in-kernel pipe.
constexpr std::int64_t kSmallestKernelCopy = 64 * 1024;
constexpr std::int64_t kLargestKernelCopy = 1 << 30;

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw ToolError(what + " " + path + ": " + std::strerror(errno));
}

int fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// Copies in the kernel as far as it goes; false when it stops short (a file
// system that cannot copy by itself, or the end of the source), so that the
// caller reads and writes the rest and reports any real failure.
bool copyInKernel(std::int64_t& fromOffset, std::int64_t& toOffset, std::int64_t& length,
                  int fromFd, int toFd) {
    while (length > 0) {
        off_t in = fromOffset;
        off_t out = toOffset;
        auto chunk = static_cast<std::size_t>(std::min(length, kLargestKernelCopy));
        ssize_t copied = ::copy_file_range(fromFd, &in, toFd, &out, chunk, 0);
        if (copied <= 0) {
            return false;
        }
        fromOffset += copied;
        toOffset += copied;
        length -= copied;
    }
    return true;
}

}  // namespace

File File::openForReading(const std::string& path) {
    int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        fail("cannot open", path);
    }
    return File(handle, path);
}

File File::createForWriting(const std::string& path) {
    int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (handle < 0) {
        fail("cannot create", path);
    }
    return File(handle, path);
}

void File::closeQuietly(std::intptr_t handle) noexcept {
    ::close(fd(handle));
}

std::int64_t File::size() const {
    struct stat info {};
    if (::fstat(fd(handle_), &info) != 0) {
        fail("cannot measure", path_);
    }
    return info.st_size;
}

std::size_t File::readAt(std::int64_t offset, MutableByteView out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t got = ::pread(fd(handle_), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            fail("cannot read", path_);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void File::writeAt(std::int64_t offset, ByteView data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t put = ::pwrite(fd(handle_), data.data() + done, data.size() - done,
                               static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (put <= 0) {
            fail("cannot write", path_);
        }
        done += static_cast<std::size_t>(put);
    }
}

void File::close() {
    if (handle_ == kNoHandle) {
        return;
    }
    int result = ::close(fd(std::exchange(handle_, kNoHandle)));
    if (result != 0 && errno != EINTR) {
        fail("cannot close", path_);
    }
}

std::int64_t copyAvailableInOneGo(File& from, std::int64_t fromOffset, File& to,
                                  std::int64_t toOffset, std::int64_t length) {
    std::int64_t left = length;
    if (length >= kSmallestKernelCopy &&
        copyInKernel(fromOffset, toOffset, left, fd(from.handle_), fd(to.handle_))) {
        return length;
    }
    return (length - left) + copyAvailableThroughBuffer(from, fromOffset, to, toOffset, left);
}

}  // namespace zrk
