// Files through POSIX descriptors. No signal handler is installed in these
// programs, so no call here is interrupted (EINTR).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file.h"
#include "system_error.h"

namespace zrk {

namespace {

// Below this a read and a write cost less than setting up a kernel copy,
// which on some file systems goes through an in-kernel pipe.
constexpr std::int64_t kSmallestKernelCopy = 64 * 1024;

int fd(const OsHandle& handle) {
    return static_cast<int>(handle.get());
}

// Copies in the kernel as far as it goes; false when it stops short (a file
// system that cannot copy by itself, or the end of the source), so that the
// caller reads and writes the rest and reports any real failure.
bool copyInKernel(std::int64_t& fromOffset, std::int64_t& toOffset, std::int64_t& length,
                  int fromFd, int toFd) {
    while (length > 0) {
        off_t in = fromOffset;
        off_t out = toOffset;
        auto wanted = static_cast<std::size_t>(length);  // a piece: well below 2 GiB
        ssize_t copied = ::copy_file_range(fromFd, &in, toFd, &out, wanted, 0);
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

std::int64_t File::size() const {
    struct stat info {};
    if (::fstat(fd(handle_), &info) != 0) {
        failWithLastError("cannot measure", path_);
    }
    return info.st_size;
}

std::size_t File::readAt(std::int64_t offset, MutableByteView out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t got = ::pread(fd(handle_), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            failWithLastError("cannot read", path_);
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
            failWithLastError("cannot write", path_);
        }
        done += static_cast<std::size_t>(put);
    }
}

void File::flushToDevice() {
    if (::fsync(fd(handle_)) != 0) {
        failWithLastError("cannot write", path_);
    }
}

std::int64_t copyAvailableInOneGo(File& from, std::int64_t fromOffset, File& to,
                                  std::int64_t toOffset, std::int64_t length) {
    std::int64_t left = length;
    if (length >= kSmallestKernelCopy &&
        copyInKernel(fromOffset, toOffset, left, fd(from.handle()), fd(to.handle()))) {
        return length;
    }
    return (length - left) + copyAvailableThroughBuffer(from, fromOffset, to, toOffset, left);
}

}  // namespace zrk
