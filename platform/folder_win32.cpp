#include <windows.h>

#include <cstdio>
#include <utility>

#include "errors.h"
#include "folder.h"
#include "system_error_win32.h"

namespace zrk {

namespace {

HANDLE osHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t handleValue(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

bool isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A folder is held without leave to delete, so that nobody can rename, remove
// or swap it for a junction while a run uses it.
HANDLE holdFolder(const std::string& path, bool followLink) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, flags, nullptr);
}

DWORD attributesOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes
                                                       : INVALID_FILE_ATTRIBUTES;
}

bool sameFile(HANDLE one, HANDLE other) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return ::GetFileInformationByHandle(one, &a) && ::GetFileInformationByHandle(other, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

Folder Folder::open(const std::filesystem::path& location) {
    std::string path = location.string();
    HANDLE handle = holdFolder(path, true);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError("cannot open the folder", path);
    }
    if ((attributesOf(handle) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::CloseHandle(handle);
        throw ToolError("cannot open the folder " + path + ": it is not a folder");
    }
    bool ended = path.ends_with('\\') || path.ends_with('/');
    return Folder(handleValue(handle), ended ? path : path + '\\');
}

void Folder::closeQuietly(std::intptr_t handle) noexcept {
    ::CloseHandle(osHandle(handle));
}

PathStatus Folder::status(std::string_view relative, bool followLinks) const {
    std::string path = path_ + std::string(relative);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        if (isNotFound(::GetLastError())) {
            return {};
        }
        failWithLastError("cannot look at", path);
    }
    DWORD attributes = data.dwFileAttributes;
    bool hidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    if (!followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return {PathKind::Link, 0, hidden};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {PathKind::Folder, 0, hidden};
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return {PathKind::Other, 0, hidden};
    }
    std::int64_t size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return {PathKind::File, size, hidden};
}

std::optional<Folder> Folder::makeChild(std::string_view name, bool followLink) const {
    std::string path = path_ + std::string(name);
    HANDLE handle = holdFolder(path, followLink);
    if (handle == INVALID_HANDLE_VALUE && isNotFound(::GetLastError()) &&
        (::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)) {
        handle = holdFolder(path, followLink);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;  // a drive not ready, or no leave to make it
    }
    DWORD attributes = attributesOf(handle);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (!followLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        ::CloseHandle(handle);
        return std::nullopt;  // a file or a link in the way
    }
    return Folder(handleValue(handle), path + '\\');
}

// The folders on the way are held by whoever made them ready (see
// OutputFolders), so none of them can turn into a junction meanwhile; the file
// itself is opened as it is, never through a link at its end.
std::optional<File> Folder::createPlainFile(std::string_view relative, const File& source) const {
    std::string path = path_ + std::string(relative);
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes &
         (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return std::nullopt;
    }
    // Not emptied on opening: only a file that is not the source may be.
    HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE &&
        (::GetLastError() == ERROR_SHARING_VIOLATION || isNotFound(::GetLastError()))) {
        return std::nullopt;  // open elsewhere without leave to write, or its folder is gone
    }
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError("cannot create", path);
    }
    File file(handleValue(handle), path);
    if ((attributesOf(handle) & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return std::nullopt;  // became a link or a folder since it was looked at
    }
    if (file.size() == 0) {
        return file;  // a new file is empty, and no source
    }
    if (sameFile(handle, osHandle(source.handle_))) {
        return std::nullopt;
    }
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle)) {
        failWithLastError("cannot empty", path);
    }
    return file;
}

File Folder::openForReading(std::string_view relative, bool followLinks) const {
    std::string path = path_ + std::string(relative);
    DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError("cannot open", path);
    }
    File file(handleValue(handle), path);
    if (!followLinks && (attributesOf(handle) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        throw ToolError(path + " is reached through a link");
    }
    return file;
}

File Folder::createForWriting(std::string_view name) const {
    return File::createForWriting(path_ + std::string(name));
}

bool Folder::remove(std::string_view name) const {
    std::string path = path_ + std::string(name);
    return ::DeleteFileA(path.c_str()) || isNotFound(::GetLastError());
}

// A mutex named after the folder's final path, which is the same whatever
// name reached the folder; owned until the process ends.
bool Folder::tryLock() const {
    std::string finalPath(MAX_PATH, '\0');
    DWORD length = ::GetFinalPathNameByHandleA(osHandle(handle_), finalPath.data(),
                                               static_cast<DWORD>(finalPath.size()), 0);
    if (length >= finalPath.size()) {
        finalPath.resize(length);
        length = ::GetFinalPathNameByHandleA(osHandle(handle_), finalPath.data(), length, 0);
    }
    if (length == 0) {
        return true;  // a folder without a final path: run unguarded
    }
    finalPath.resize(length);
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (char c : finalPath) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\zrk-work-folder-%016llx",
                  static_cast<unsigned long long>(hash));
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        return true;
    }
    DWORD waited = ::WaitForSingleObject(mutex, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        return true;  // kept: the mutex handle closes with the process
    }
    ::CloseHandle(mutex);
    return false;
}

}  // namespace zrk
