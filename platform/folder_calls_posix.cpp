// The folder calls through POSIX descriptors: each name opened relative to
// its folder's descriptor, with O_NOFOLLOW where links are refused. New files
// are unnamed (O_TMPFILE) until they are linked in whole; where the file
// system has no unnamed files, they have a hidden name until they are renamed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "folder_calls.h"
#include "system_error.h"

namespace zrk::calls {

namespace {

int fd(const OsHandle& handle) {
    return static_cast<int>(handle.get());
}

int fd(const HeldFolder& folder) {
    return fd(folder.handle);
}

Answer failed() {
    return {Outcome::Failed, lastErrorCode()};
}

PathStatus factsOf(const struct stat& info) {
    PathStatus facts;
    facts.kind = S_ISREG(info.st_mode)   ? PathKind::File
                 : S_ISDIR(info.st_mode) ? PathKind::Folder
                 : S_ISLNK(info.st_mode) ? PathKind::Link
                                         : PathKind::Other;
    facts.size = S_ISREG(info.st_mode) ? info.st_size : 0;
    facts.id = {static_cast<std::uint64_t>(info.st_dev), 0,
                static_cast<std::uint64_t>(info.st_ino)};
    return facts;
}

// What a failed open of a name in `folder` ran into, from its errno: ENOTDIR
// says only that the name is no folder, so a look tells a link from a file.
Answer whyNotOpened(int folder, const std::string& part) {
    int error = errno;
    if (error == ENOENT) {
        return {Outcome::Missing, static_cast<std::uint32_t>(error)};
    }
    if (error == ELOOP) {
        return {Outcome::Link, static_cast<std::uint32_t>(error)};
    }
    struct stat info {};
    if (error == ENOTDIR && ::fstatat(folder, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return {S_ISLNK(info.st_mode) ? Outcome::Link : Outcome::Other,
                static_cast<std::uint32_t>(error)};
    }
    return {Outcome::Failed, static_cast<std::uint32_t>(error)};
}

Answer createNamed(int folder, Temporary& out) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = newTemporaryName();
        int handle = ::openat(folder, name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (handle >= 0) {
            out = {OsHandle(handle), name};
            return {};
        }
        if (errno != EEXIST) {
            return failed();
        }
    }
    return {Outcome::Failed, EEXIST};
}

// Links the unnamed file `file` in as `part`: by its descriptor, which needs
// no privilege since Linux 6.10, else through /proc.
Answer linkIn(int file, int folder, const std::string& part) {
    static bool byDescriptor = true;
    if (byDescriptor) {
        if (::linkat(file, "", folder, part.c_str(), AT_EMPTY_PATH) == 0) {
            return {};
        }
        if (errno != ENOENT && errno != EPERM) {
            return errno == EEXIST ? Answer{Outcome::Taken, EEXIST} : failed();
        }
        byDescriptor = false;
    }
    std::string path = "/proc/self/fd/";
    path += std::to_string(file);
    if (::linkat(AT_FDCWD, path.c_str(), folder, part.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return {};
    }
    return errno == EEXIST ? Answer{Outcome::Taken, EEXIST} : failed();
}

// Puts the unnamed file in place of what is at `part`, through a hidden name:
// a link cannot replace, a rename can.
Answer replaceWithUnnamed(int file, int folder, const std::string& part) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = newTemporaryName();
        Answer linked = linkIn(file, folder, name);
        if (linked.outcome == Outcome::Taken) {
            continue;
        }
        if (linked.outcome != Outcome::Done) {
            return linked;
        }
        if (::renameat(folder, name.c_str(), folder, part.c_str()) == 0) {
            return {};
        }
        Answer renamed = failed();
        ::unlinkat(folder, name.c_str(), 0);
        return renamed;
    }
    return {Outcome::Failed, EEXIST};
}

}  // namespace

Answer openFolderAt(const std::filesystem::path& path, HeldFolder& out, std::string& shown) {
    shown = (path / "").native();
    int handle = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        return errno == ENOTDIR ? Answer{Outcome::Other, ENOTDIR} : failed();
    }
    out.handle = OsHandle(handle);
    return {};
}

// "." is the current folder itself, wherever it has moved; its path is only
// what messages show.
Answer openCurrentFolder(HeldFolder& out, std::string& shown) {
    Answer answer = openFolderAt(".", out, shown);
    std::error_code error;
    std::filesystem::path current = std::filesystem::current_path(error);
    if (!error) {
        shown = (current / "").native();
    }
    return answer;
}

Answer openFolderIn(const HeldFolder& parent, const std::string& part, Links links, bool make,
                    HeldFolder& out) {
    int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    int handle = ::openat(fd(parent), part.c_str(), flags);
    if (handle < 0 && errno == ENOENT && make) {
        if (::mkdirat(fd(parent), part.c_str(), 0777) != 0 && errno != EEXIST) {
            return failed();
        }
        handle = ::openat(fd(parent), part.c_str(), flags);
    }
    if (handle < 0) {
        return whyNotOpened(fd(parent), part);
    }
    out.handle = OsHandle(handle);
    return {};
}

Answer lookAt(const HeldFolder& parent, const std::string& part, Links links, PathStatus& out) {
    struct stat info {};
    int flags = links == Links::Refuse ? AT_SYMLINK_NOFOLLOW : 0;
    if (::fstatat(fd(parent), part.c_str(), &info, flags) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Answer{Outcome::Missing, ENOENT}
               : errno == ELOOP                    ? Answer{Outcome::Link, ELOOP}
                                                   : failed();
    }
    out = factsOf(info);
    return out.kind == PathKind::Link ? Answer{Outcome::Link, ELOOP} : Answer{};
}

// O_NONBLOCK keeps the open of a named pipe from waiting for a writer for
// good; the look afterwards refuses it.
Answer openFileIn(const HeldFolder& parent, const std::string& part, Links links, OsHandle& out,
                  PathStatus& facts) {
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    int handle = ::openat(fd(parent), part.c_str(), flags);
    if (handle < 0) {
        return whyNotOpened(fd(parent), part);
    }
    OsHandle file(handle);
    struct stat info {};
    if (::fstat(handle, &info) != 0) {
        return failed();
    }
    facts = factsOf(info);
    if (facts.kind != PathKind::File) {
        return {Outcome::Other, 0};
    }
    out = std::move(file);
    return {};
}

Answer createTemporary(const HeldFolder& parent, Temporary& out) {
    int handle = ::openat(fd(parent), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (handle >= 0) {
        out = {OsHandle(handle), ""};
        return {};
    }
    // A file system without unnamed files (FAT, some network ones) says so
    // in one of these ways.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return failed();
    }
    return createNamed(fd(parent), out);
}

Answer publish(const HeldFolder& parent, const OsHandle& file, const std::string& temporaryName,
               const std::string& part, bool replace) {
    if (temporaryName.empty()) {
        return replace ? replaceWithUnnamed(fd(file), fd(parent), part)
                       : linkIn(fd(file), fd(parent), part);
    }
    struct stat info {};
    if (!replace && ::fstatat(fd(parent), part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return {Outcome::Taken, EEXIST};
    }
    if (::renameat(fd(parent), temporaryName.c_str(), fd(parent), part.c_str()) != 0) {
        return errno == EISDIR ? Answer{Outcome::Other, EISDIR} : failed();
    }
    return {};
}

void discard(const HeldFolder& parent, const std::string& temporaryName) noexcept {
    if (!temporaryName.empty()) {
        ::unlinkat(fd(parent), temporaryName.c_str(), 0);
    }
}

Answer removeFileIn(const HeldFolder& parent, const std::string& part) {
    PathStatus there;
    Answer looked = lookAt(parent, part, Links::Refuse, there);
    if (looked.outcome != Outcome::Done) {
        return looked;
    }
    if (there.kind != PathKind::File) {
        return {Outcome::Other, 0};
    }
    if (::unlinkat(fd(parent), part.c_str(), 0) != 0 && errno != ENOENT) {
        return failed();
    }
    return {};
}

// An flock on a description of the folder's own: it conflicts with any other
// description's, also within one process.
Answer lockFolder(const HeldFolder& folder, OsHandle& out) {
    int handle = ::openat(fd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        return failed();
    }
    OsHandle lock(handle);
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? Answer{Outcome::InUse, EWOULDBLOCK} : failed();
    }
    out = std::move(lock);
    return {};
}

}  // namespace zrk::calls
