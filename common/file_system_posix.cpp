#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "ansi_text.h"
#include "errors.h"
#include "file_system.h"

namespace zrk {

namespace {

bool statPath(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string currentWorkDir() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            throw ToolError(std::string("cannot read the current directory: ") +
                            std::strerror(errno));
        }
        buffer.resize(buffer.size() * 2);
    }
    std::string dir(buffer.data());
    if (!dir.ends_with('/')) {
        dir += '/';
    }
    return dir;
}

bool isFolderSeparator(char c) {
    return c == '/';
}

std::string nativeChildPath(const std::string& base, std::string_view ansiRelative) {
    std::string relative(ansiRelative);
    for (char& c : relative) {
        if (c == '\\') {
            c = '/';
        }
    }
    return base + ansiToNative(relative);
}

bool plainFileExists(const std::string& path) {
    return isPlainFile(path);
}

bool isPlainFile(const std::string& path) {
    struct stat info {};
    return statPath(path, info) && S_ISREG(info.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat info {};
    return statPath(path, info) && S_ISDIR(info.st_mode);
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && folderExists(path));
}

std::optional<std::int64_t> plainFileLength(const std::string& path) {
    struct stat info {};
    if (!statPath(path, info) || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return info.st_size;
}

bool deleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

FolderRoute folderRoute(const std::string& folder) {
    std::string absolute = folder.starts_with('/') ? folder : currentWorkDir() + folder;
    FolderRoute route{"/", {}, true};
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos) {
            end = absolute.size();
        }
        std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!route.parts.empty()) {
                route.parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            route.parts.push_back(part);
        }
        start = end + 1;
    }
    return route;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || isFolderSeparator(folder.back())) {
        return folder + name;
    }
    return folder + '/' + name;
}

NameRules hostNameRules() {
    return NameRules::Posix;
}

PathKind pathKind(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return PathKind::Missing;
    }
    if (S_ISLNK(info.st_mode)) {
        return PathKind::Link;
    }
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

}  // namespace zrk
