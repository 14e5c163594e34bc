// Folders through POSIX descriptors. Below a folder everything goes through
// openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, or, where the kernel
// lacks it, a walk that opens one level at a time with O_NOFOLLOW.

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "folder.h"
#include "system_error.h"

namespace zrk {

namespace {

int fd(const OsHandle& handle) {
    return static_cast<int>(handle.get());
}

std::string joined(const RelativePath& path) {
    std::string text;
    for (const std::string& part : path.parts()) {
        text += (text.empty() ? "" : "/") + part;
    }
    return text;
}

// Opens the folder `levels` parts down `parts` below `top`, one level at a
// time and none of them a link, making a missing level when `make`: an empty
// handle for `top` itself. Nothing, with errno set (ELOOP for a link, ENOTDIR
// for something else in the way), when it cannot.
std::optional<OsHandle> walkDown(int top, const std::vector<std::string>& parts, std::size_t levels,
                                 bool make) {
    OsHandle current;
    for (std::size_t i = 0; i < levels; ++i) {
        int above = current ? fd(current) : top;
        const char* part = parts[i].c_str();
        int level = ::openat(above, part, O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (level < 0 && errno == ENOENT && make &&
            (::mkdirat(above, part, 0777) == 0 || errno == EEXIST)) {
            level = ::openat(above, part, O_PATH | O_NOFOLLOW | O_CLOEXEC);
        }
        if (level < 0) {
            return std::nullopt;
        }
        current = OsHandle(level);
        struct stat info {};
        if (::fstat(level, &info) != 0 || !S_ISDIR(info.st_mode)) {
            errno = S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR;
            return std::nullopt;
        }
    }
    return current;
}

// Opens `path` below `top` without passing a link, its last part included
// (but for O_PATH | O_NOFOLLOW, which opens a link itself), and without
// leaving `top`: one call where the kernel has openat2, else the walk. -1 with
// errno set (ELOOP for a link) when it cannot.
int openBelow(int top, const RelativePath& path, int flags, mode_t mode = 0) {
    static bool haveOpenat2 = true;
    if (haveOpenat2) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
        how.mode = (flags & O_CREAT) != 0 ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        long opened = ::syscall(SYS_openat2, top, joined(path).c_str(), &how, sizeof how);
        if (opened >= 0 || errno != ENOSYS) {
            return static_cast<int>(opened);
        }
        haveOpenat2 = false;
    }
    const std::vector<std::string>& parts = path.parts();
    std::optional<OsHandle> folder = walkDown(top, parts, parts.size() - 1, false);
    if (!folder) {
        return -1;
    }
    return ::openat(*folder ? fd(*folder) : top, parts.back().c_str(),
                    flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

// The folder that holds the last part of `path`, every missing level made.
std::optional<OsHandle> folderMadeFor(int top, const RelativePath& path) {
    const std::vector<std::string>& parts = path.parts();
    if (parts.size() > 1) {
        // Most folders are there already: reach them in one call.
        int opened = openBelow(top, path.parent(), O_PATH | O_DIRECTORY);
        if (opened >= 0) {
            return OsHandle(opened);
        }
    }
    return walkDown(top, parts, parts.size() - 1, true);
}

bool isSameFile(const File& file, const struct stat& other) {
    struct stat info {};
    return ::fstat(fd(file.handle()), &info) == 0 && info.st_dev == other.st_dev &&
           info.st_ino == other.st_ino;
}

// Makes room for a new file at `name` in `folder`: removes a plain file there
// unless it is `keep`. False when something else is there; a failure to look
// or to remove raises ToolError.
bool clearForNewFile(int folder, const std::string& name, const File* keep,
                     const std::string& shown) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        failWithLastError("cannot look at", shown);
    }
    if (!S_ISREG(info.st_mode) || (keep != nullptr && isSameFile(*keep, info))) {
        return false;
    }
    if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
        failWithLastError("cannot remove", shown);
    }
    return true;
}

// A file opened for reading, refused unless it is plain: a named pipe would
// have it wait for a writer for good (O_NONBLOCK keeps the open itself from
// waiting).
File plainFile(int handle, const std::string& shown) {
    File file(OsHandle(handle), shown);
    struct stat info {};
    if (::fstat(handle, &info) != 0) {
        failWithLastError("cannot look at", shown);
    }
    if (!S_ISREG(info.st_mode)) {
        throw ToolError(shown + " is not a plain file");
    }
    return file;
}

}  // namespace

Folder Folder::open(const std::filesystem::path& location) {
    const std::string& path = location.native();
    int handle = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        failWithLastError("cannot open the folder", path);
    }
    return Folder(OsHandle(handle), path.ends_with('/') ? path : path + '/');
}

std::optional<Folder> Folder::openFolder(std::string_view name, bool make) const {
    std::string part(name);
    int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    int handle = ::openat(fd(handle_), part.c_str(), flags);
    if (handle < 0 && errno == ENOENT && make &&
        (::mkdirat(fd(handle_), part.c_str(), 0777) == 0 || errno == EEXIST)) {
        handle = ::openat(fd(handle_), part.c_str(), flags);
    }
    if (handle < 0 && !make && errno != ENOENT && errno != ENOTDIR) {
        failWithLastError("cannot open the folder", path_ + part);
    }
    if (handle < 0) {
        return std::nullopt;  // missing, a file in the way, or no leave to make it
    }
    return Folder(OsHandle(handle), path_ + part + '/');
}

PathStatus Folder::status(const RelativePath& path, Links links) const {
    struct stat info {};
    int result = -1;
    if (links == Links::Follow) {
        result = ::fstatat(fd(handle_), joined(path).c_str(), &info, 0);
    } else if (int opened = openBelow(fd(handle_), path, O_PATH | O_NOFOLLOW); opened >= 0) {
        OsHandle found(opened);
        result = ::fstat(opened, &info);
    }
    if (result != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        if (errno == ELOOP || errno == EXDEV) {
            return {PathKind::Link};
        }
        failWithLastError("cannot look at", path_ + path.shown());
    }
    if (S_ISREG(info.st_mode)) {
        return {PathKind::File, info.st_size};
    }
    if (S_ISDIR(info.st_mode)) {
        return {PathKind::Folder};
    }
    return {S_ISLNK(info.st_mode) ? PathKind::Link : PathKind::Other};
}

File Folder::openForReading(const RelativePath& path, Links links) const {
    std::string shown = path_ + path.shown();
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    int handle = links == Links::Follow ? ::openat(fd(handle_), joined(path).c_str(), flags)
                                        : openBelow(fd(handle_), path, flags);
    if (handle < 0 && links == Links::Refuse && (errno == ELOOP || errno == EXDEV)) {
        throw ToolError(shown + " is reached through a link");
    }
    if (handle < 0) {
        failWithLastError("cannot open", shown);
    }
    return plainFile(handle, shown);
}

std::optional<File> Folder::replaceFile(const RelativePath& path, const File& keep) const {
    std::string shown = path_ + path.shown();
    constexpr int kNewFile = O_WRONLY | O_CREAT | O_EXCL;
    // Most files are new, in folders that are there already: one call makes them.
    int handle = openBelow(fd(handle_), path, kNewFile, 0666);
    if (handle < 0 && (errno == EEXIST || errno == ENOENT)) {
        // Something is at the name, or a folder on the way is missing.
        const std::vector<std::string>& parts = path.parts();
        std::optional<OsHandle> folder = folderMadeFor(fd(handle_), path);
        if (!folder) {
            return std::nullopt;  // a link or a file in the way, or no leave to make a level
        }
        int at = *folder ? fd(*folder) : fd(handle_);
        if (!clearForNewFile(at, parts.back(), &keep, shown)) {
            return std::nullopt;
        }
        handle = ::openat(at, parts.back().c_str(), kNewFile | O_CLOEXEC, 0666);
    }
    if (handle < 0 && (errno == EEXIST || errno == ELOOP || errno == EXDEV || errno == ENOTDIR)) {
        return std::nullopt;  // a link or a file in the way, or something took the place meanwhile
    }
    if (handle < 0) {
        failWithLastError("cannot create", shown);
    }
    return File(OsHandle(handle), shown);
}

void Folder::removeFile(std::string_view name) const {
    std::string file(name);
    if (!clearForNewFile(fd(handle_), file, nullptr, path_ + file)) {
        throw ToolError("cannot remove " + path_ + file +
                        ": it is not a plain file but a folder, a link or a special file");
    }
}

File Folder::createNewFile(std::string_view name) const {
    std::string file(name);
    int handle = ::openat(fd(handle_), file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (handle < 0) {
        failWithLastError("cannot create", path_ + file);
    }
    return File(OsHandle(handle), path_ + file);
}

// An flock on a description of the folder's own: it conflicts with any other
// description's, also within one process.
std::optional<OsHandle> Folder::lock() const {
    int handle = ::openat(fd(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        failWithLastError("cannot lock the folder", path_);
    }
    OsHandle lock(handle);
    if (::flock(handle, LOCK_EX | LOCK_NB) == 0) {
        return lock;
    }
    if (errno != EWOULDBLOCK) {
        failWithLastError("cannot lock the folder", path_);
    }
    return std::nullopt;
}

}  // namespace zrk
