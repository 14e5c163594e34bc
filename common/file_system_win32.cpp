#include <windows.h>

#include <string>
#include <vector>

#include "errors.h"
#include "file_system.h"
#include "system_error_win32.h"

namespace zrk {

namespace {

constexpr char kSeparator = '\\';
constexpr DWORD kNotCounted = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

bool attributesOf(const std::string& path, DWORD& attributes) {
    attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool hasDrive(const std::string& path) {
    return path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' &&
           isFolderSeparator(path[2]);
}

// Length of the root of an absolute path: "C:\" or "\\server\share\".
std::size_t rootLength(const std::string& full) {
    if (hasDrive(full)) {
        return 3;
    }
    if (full.size() < 2 || !isFolderSeparator(full[0]) || !isFolderSeparator(full[1])) {
        return 0;
    }
    std::size_t at = 2;
    for (int component = 0; component < 2 && at < full.size(); ++component) {
        while (at < full.size() && !isFolderSeparator(full[at])) {
            ++at;
        }
        if (at < full.size()) {
            ++at;
        }
    }
    return at;
}

std::string fullPathOf(const std::string& path) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()),
                                          buffer.data(), nullptr);
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(length);
    }
}

// A drive that is there and holds a medium. Asking an empty removable drive
// must not bring up the system's "insert a disk" box.
bool rootIsReady(const std::string& root) {
    UINT type = ::GetDriveTypeA(root.c_str());
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) {
        return false;
    }
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode);
    BOOL ready =
        ::GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0);
    ::SetThreadErrorMode(oldMode, nullptr);
    return ready != FALSE;
}

}  // namespace

std::string currentWorkDir() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            throw ToolError("cannot read the current directory: " + lastErrorText());
        }
        if (length < buffer.size()) {
            std::string dir(buffer.data(), length);
            if (!isFolderSeparator(dir.back())) {
                dir += kSeparator;
            }
            return dir;
        }
        buffer.resize(length);
    }
}

bool isFolderSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string nativeChildPath(const std::string& base, std::string_view ansiRelative) {
    std::string path = base;
    for (char c : ansiRelative) {
        path += c == '/' ? kSeparator : c;
    }
    return path;
}

bool plainFileExists(const std::string& path) {
    DWORD attributes = 0;
    return attributesOf(path, attributes) && (attributes & kNotCounted) == 0;
}

bool isPlainFile(const std::string& path) {
    DWORD attributes = 0;
    return attributesOf(path, attributes) &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool folderExists(const std::string& path) {
    DWORD attributes = 0;
    return attributesOf(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool makeFolder(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE ||
           (::GetLastError() == ERROR_ALREADY_EXISTS && folderExists(path));
}

std::optional<std::int64_t> plainFileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return std::nullopt;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool deleteFile(const std::string& path) {
    if (::DeleteFileA(path.c_str())) {
        return true;
    }
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

FolderRoute folderRoute(const std::string& folder) {
    std::string full = fullPathOf(folder);
    std::size_t rootEnd = rootLength(full);
    if (rootEnd == 0) {
        return FolderRoute{full, {}, false};
    }
    FolderRoute route{full.substr(0, rootEnd), {}, false};
    if (!isFolderSeparator(route.root.back())) {
        route.root += kSeparator;
    }
    route.rootUsable = rootIsReady(route.root);
    std::string part;
    for (std::size_t i = rootEnd; i <= full.size(); ++i) {
        if (i == full.size() || isFolderSeparator(full[i])) {
            if (!part.empty()) {
                route.parts.push_back(part);
            }
            part.clear();
        } else {
            part += full[i];
        }
    }
    return route;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || isFolderSeparator(folder.back())) {
        return folder + name;
    }
    return folder + kSeparator + name;
}

NameRules hostNameRules() {
    return NameRules::Windows;
}

PathKind pathKind(const std::string& path) {
    DWORD attributes = 0;
    if (!attributesOf(path, attributes)) {
        return PathKind::Missing;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return PathKind::Link;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::Other;
}

}  // namespace zrk
