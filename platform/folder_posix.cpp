#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "errors.h"
#include "folder.h"

namespace zrk {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw ToolError(what + " " + path + ": " + std::strerror(errno));
}

int fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// The fallback of openBeneath for kernels without openat2: one level at a
// time, none of them a link.
int openByWalking(int folder, const std::string& relative, int flags, mode_t mode) {
    int current = folder;
    std::size_t start = 0;
    for (std::size_t end; (end = relative.find('/', start)) != std::string::npos; start = end + 1) {
        std::string part = relative.substr(start, end - start);
        if (part.empty() || part == ".") {
            continue;
        }
        int next = part == ".." ? (errno = EXDEV, -1)
                                : ::openat(current, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        if (next >= 0 && (::fstat(next, &info) != 0 || !S_ISDIR(info.st_mode))) {
            errno = S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR;
            ::close(std::exchange(next, -1));
        }
        if (current != folder) {
            int saved = errno;
            ::close(current);
            errno = saved;
        }
        if (next < 0) {
            return -1;
        }
        current = next;
    }
    int opened = ::openat(current, relative.c_str() + start, flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (current != folder) {
        int saved = errno;
        ::close(current);
        errno = saved;
    }
    return opened;
}

// Opens `relative` below `folder` without following a link anywhere on the way
// and without leaving the folder: one call where the kernel has openat2.
// -1 with errno set (ELOOP for a link, EXDEV for a way out) otherwise.
int openBeneath(int folder, const std::string& relative, int flags, mode_t mode = 0) {
    static bool haveOpenat2 = true;
    if (haveOpenat2) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
        how.mode = (flags & O_CREAT) != 0 ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        long opened = ::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how);
        if (opened >= 0 || errno != ENOSYS) {
            return static_cast<int>(opened);
        }
        haveOpenat2 = false;
    }
    return openByWalking(folder, relative, flags, mode);
}

// The reasons for which a path cannot take a plain file of ours.
bool cannotTakePlainFile(int error) {
    return error == ELOOP || error == EXDEV || error == ENXIO || error == EISDIR ||
           error == ENOTDIR || error == ENOENT;
}

bool isSameFile(int one, const struct stat& other) {
    struct stat info {};
    return ::fstat(one, &info) == 0 && info.st_dev == other.st_dev && info.st_ino == other.st_ino;
}

}  // namespace

Folder Folder::open(const std::filesystem::path& location) {
    const std::string& path = location.native();
    // Readable where it may be, as a lock needs; else only for reaching below.
    int handle = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0 && errno == EACCES) {
        handle = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (handle < 0) {
        fail("cannot open the folder", path);
    }
    return Folder(handle, path.ends_with('/') ? path : path + '/');
}

void Folder::closeQuietly(std::intptr_t handle) noexcept {
    ::close(fd(handle));
}

PathStatus Folder::status(std::string_view relative, bool followLinks) const {
    std::string name(relative);
    struct stat info {};
    if (::fstatat(fd(handle_), name.c_str(), &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        fail("cannot look at", path_ + name);
    }
    if (S_ISREG(info.st_mode)) {
        return {PathKind::File, info.st_size};
    }
    if (S_ISDIR(info.st_mode)) {
        return {PathKind::Folder};
    }
    return {S_ISLNK(info.st_mode) ? PathKind::Link : PathKind::Other};
}

std::optional<Folder> Folder::makeChild(std::string_view name, bool followLink) const {
    std::string part(name);
    int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    int handle = ::openat(fd(handle_), part.c_str(), flags);
    if (handle < 0 && errno == ENOENT &&
        (::mkdirat(fd(handle_), part.c_str(), 0777) == 0 || errno == EEXIST)) {
        handle = ::openat(fd(handle_), part.c_str(), flags);
    }
    if (handle < 0) {
        return std::nullopt;  // a file or a link in the way, or no leave to make it
    }
    return Folder(handle, path_ + part + '/');
}

std::optional<File> Folder::createPlainFile(std::string_view relative, const File& source) const {
    std::string name(relative);
    // A file made new here is plain, empty and not the source: nothing to check.
    int handle = openBeneath(fd(handle_), name, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (handle >= 0) {
        return File(handle, path_ + name);
    }
    // Not emptied on opening: only a file that is neither special nor the
    // source may be. O_NONBLOCK refuses a named pipe that nothing reads
    // (ENXIO) instead of waiting; regular files ignore it.
    if (errno == EEXIST) {
        handle = openBeneath(fd(handle_), name, O_WRONLY | O_CREAT | O_NONBLOCK, 0666);
    }
    if (handle < 0 && cannotTakePlainFile(errno)) {
        return std::nullopt;
    }
    if (handle < 0) {
        fail("cannot create", path_ + name);
    }
    File file(handle, path_ + name);
    struct stat info {};
    if (::fstat(handle, &info) != 0) {
        fail("cannot measure", file.path());
    }
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    if (info.st_size > 0) {  // a new file is empty, and no source
        if (isSameFile(fd(source.handle_), info)) {
            return std::nullopt;
        }
        if (::ftruncate(handle, 0) != 0) {
            fail("cannot empty", file.path());
        }
    }
    return file;
}

File Folder::openForReading(std::string_view relative, bool followLinks) const {
    std::string name(relative);
    int handle = followLinks ? ::openat(fd(handle_), name.c_str(), O_RDONLY | O_CLOEXEC)
                             : openBeneath(fd(handle_), name, O_RDONLY);
    if (handle < 0 && !followLinks && (errno == ELOOP || errno == EXDEV)) {
        throw ToolError(path_ + name + " is reached through a link");
    }
    if (handle < 0) {
        fail("cannot open", path_ + name);
    }
    return File(handle, path_ + name);
}

File Folder::createForWriting(std::string_view name) const {
    std::string file(name);
    int handle =
        ::openat(fd(handle_), file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (handle < 0) {
        fail("cannot create", path_ + file);
    }
    return File(handle, path_ + file);
}

bool Folder::remove(std::string_view name) const {
    std::string file(name);
    return ::unlinkat(fd(handle_), file.c_str(), 0) == 0 || errno == ENOENT;
}

bool Folder::tryLock() const {
    // A folder or file system that takes no locks leaves the run unguarded.
    return ::flock(fd(handle_), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

}  // namespace zrk
