// Folders through Windows handles. Below a folder every level is opened with
// NtCreateFile relative to the handle of the level above, as a reparse point
// itself rather than what it points to, and checked to be that very name
// (reachedDirectly). Levels are held without leave to delete, so that no one
// renames them or swaps them for a junction while a call goes through them.

#include "errors.h"
#include "folder.h"
#include "nt_files_win32.h"
#include "system_error.h"
#include "wide_text_win32.h"

namespace zrk {

namespace {

constexpr ULONG kShareLevel = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a walk down the folders of a path gives: the last folder's handle (an
// empty one for the top itself) and its path as the system names it, or why
// it stopped.
struct Walked {
    NTSTATUS status = 0;
    OsHandle folder;
    std::wstring name;
};

// Opens the folders of `parts` but the last, each relative to the one above,
// none of them a link; a missing level is made when `make`.
Walked walkDown(HANDLE top, const std::vector<std::string>& parts, bool make) {
    Walked walked;
    std::optional<Facts> facts = factsOf(top, &walked.status);
    if (!facts) {
        return walked;
    }
    walked.name = facts->name;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        HANDLE above = walked.folder ? osHandle(walked.folder) : top;
        Opened level =
            openRelative(above, utf8ToWide(parts[i]), FILE_READ_ATTRIBUTES, kShareLevel,
                         make ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE | kOpenReparsePoint);
        if (level.status < 0) {
            walked.status = level.status;
            return walked;
        }
        facts = factsOf(osHandle(level.handle));
        if (!reachedDirectly(facts, pathIn(walked.name, utf8ToWide(parts[i])))) {
            walked.status = kStatusThroughLink;
            return walked;
        }
        walked.folder = std::move(level.handle);
        walked.name = std::move(facts->name);
    }
    return walked;
}

HANDLE lastFolder(const Walked& walked, const OsHandle& top) {
    return osHandle(walked.folder ? walked.folder : top);
}

// Makes room for a new file at the last part of `path` in the folder a walk
// reached: removes a plain file there unless it is `keep`. False when
// something else is there, or a file open elsewhere without leave to delete
// it; a failure to remove raises ToolError. A file is deleted only through a
// handle that is that very name: Wine deletes the target of a link through
// which a handle was opened.
bool clearForNewFile(HANDLE folder, const std::wstring& folderName, const std::string& name,
                     const File* keep, const std::string& shown) {
    std::wstring part = utf8ToWide(name);
    Opened existing = openRelative(folder, part, DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                   FILE_OPEN, FILE_NON_DIRECTORY_FILE | kOpenReparsePoint);
    if (isMissing(existing.status)) {
        return true;
    }
    if (existing.status == kStatusFileIsAFolder || existing.status == kStatusSharingViolation) {
        return false;
    }
    if (existing.status < 0) {
        failWithStatus(existing.status, "cannot look at", shown);
    }
    HANDLE handle = osHandle(existing.handle);
    if (!reachedDirectly(factsOf(handle), pathIn(folderName, part)) ||
        (keep != nullptr && isSameFile(osHandle(keep->handle()), handle))) {
        return false;
    }
    if (NTSTATUS status = markForDeletion(handle); status < 0) {
        failWithStatus(status, "cannot remove", shown);
    }
    return true;
}

// Long paths and names Win32 would otherwise change (trailing dots and
// spaces) reach the system as they stand in the \\?\ form.
std::wstring longForm(const std::filesystem::path& path) {
    std::wstring full(path.native().size() + MAX_PATH, L'\0');
    DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    }
    full.resize(length);
    if (full.starts_with(L"\\\\?\\") || full.empty()) {
        return full;
    }
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

}  // namespace

Folder Folder::open(const std::filesystem::path& location) {
    std::string shown = wideToShown(location.native());
    HANDLE handle = ::CreateFileW(longForm(location).c_str(), FILE_READ_ATTRIBUTES, kShareLevel,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError("cannot open the folder", shown);
    }
    OsHandle held(reinterpret_cast<std::intptr_t>(handle));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw ToolError("cannot open the folder " + shown + ": it is not a folder");
    }
    return Folder(std::move(held), shown.ends_with('\\') ? shown : shown + '\\');
}

std::optional<Folder> Folder::openFolder(std::string_view name, bool make) const {
    std::string part(name);
    Opened folder = openRelative(osHandle(handle_), utf8ToWide(part), FILE_READ_ATTRIBUTES,
                                 kShareLevel, make ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE);
    if (folder.status < 0 && !make && !isMissing(folder.status) &&
        folder.status != kStatusNotAFolder) {
        failWithStatus(folder.status, "cannot open the folder", path_ + part);
    }
    if (folder.status < 0) {
        return std::nullopt;  // missing, a file in the way, or no leave to make it
    }
    return Folder(std::move(folder.handle), path_ + part + '\\');
}

PathStatus Folder::status(const RelativePath& path, Links links) const {
    Walked walked = walkDown(osHandle(handle_), path.parts(), false);
    std::wstring last = utf8ToWide(path.parts().back());
    Opened item;
    if (walked.status >= 0) {
        item = openRelative(lastFolder(walked, handle_), last, FILE_READ_ATTRIBUTES, kShareAll,
                            FILE_OPEN, links == Links::Refuse ? kOpenReparsePoint : 0);
    }
    NTSTATUS status = walked.status < 0 ? walked.status : item.status;
    if (isMissing(status) || status == kStatusNotAFolder) {
        return {};
    }
    if (status == kStatusThroughLink) {
        return {PathKind::Link};
    }
    if (status < 0) {
        failWithStatus(status, "cannot look at", path_ + path.shown());
    }
    std::optional<Facts> facts = factsOf(osHandle(item.handle), &status);
    if (links == Links::Refuse && !reachedDirectly(facts, pathIn(walked.name, last))) {
        return {PathKind::Link};
    }
    if (!facts) {
        failWithStatus(status, "cannot look at", path_ + path.shown());
    }
    bool hidden = (facts->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    if ((facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {PathKind::Folder, 0, hidden};
    }
    return {PathKind::File, facts->size, hidden};
}

File Folder::openForReading(const RelativePath& path, Links links) const {
    std::string shown = path_ + path.shown();
    Walked walked = walkDown(osHandle(handle_), path.parts(), false);
    std::wstring last = utf8ToWide(path.parts().back());
    Opened file;
    if (walked.status >= 0) {
        ULONG options = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY |
                        (links == Links::Refuse ? kOpenReparsePoint : 0);
        file = openRelative(lastFolder(walked, handle_), last, GENERIC_READ, FILE_SHARE_READ,
                            FILE_OPEN, options);
    }
    NTSTATUS status = walked.status < 0 ? walked.status : file.status;
    if (status == kStatusThroughLink ||
        (status >= 0 && links == Links::Refuse &&
         !reachedDirectly(factsOf(osHandle(file.handle)), pathIn(walked.name, last)))) {
        throw ToolError(shown + " is reached through a link");
    }
    if (status < 0) {
        failWithStatus(status, "cannot open", shown);
    }
    return File(std::move(file.handle), shown);
}

std::optional<File> Folder::replaceFile(const RelativePath& path, const File& keep) const {
    std::string shown = path_ + path.shown();
    Walked walked = walkDown(osHandle(handle_), path.parts(), true);
    if (walked.status < 0) {
        return std::nullopt;  // a link or a file in the way, or no leave to make a level
    }
    HANDLE folder = lastFolder(walked, handle_);
    const std::string& name = path.parts().back();
    if (!clearForNewFile(folder, walked.name, name, &keep, shown)) {
        return std::nullopt;
    }
    std::wstring last = utf8ToWide(name);
    Opened file = openRelative(folder, last, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                               FILE_CREATE, FILE_NON_DIRECTORY_FILE);
    if (file.status == kStatusNameCollision) {
        return std::nullopt;  // something took the place meanwhile
    }
    if (file.status < 0) {
        failWithStatus(file.status, "cannot create", shown);
    }
    if (!reachedDirectly(factsOf(osHandle(file.handle)), pathIn(walked.name, last))) {
        return std::nullopt;  // a folder on the way was swapped meanwhile
    }
    return File(std::move(file.handle), shown);
}

void Folder::removeFile(std::string_view name) const {
    std::string file(name);
    NTSTATUS status = 0;
    std::optional<Facts> facts = factsOf(osHandle(handle_), &status);
    if (!facts) {
        failWithStatus(status, "cannot look at", path_);
    }
    if (!clearForNewFile(osHandle(handle_), facts->name, file, nullptr, path_ + file)) {
        throw ToolError("cannot remove " + path_ + file +
                        ": it is not a plain file but a folder, a link or a special file");
    }
}

File Folder::createNewFile(std::string_view name) const {
    std::string file(name);
    Opened created = openRelative(osHandle(handle_), utf8ToWide(file), GENERIC_WRITE,
                                  FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
    if (created.status < 0) {
        failWithStatus(created.status, "cannot create", path_ + file);
    }
    return File(std::move(created.handle), path_ + file);
}

// The folder opened once more, for writing and without leave for anyone else
// to open it for writing: a second run's open fails with a sharing violation,
// whatever its user, session or machine. Reading and listing the folder stay
// open to everyone.
std::optional<OsHandle> Folder::lock() const {
    Opened lock = openRelative(osHandle(handle_), L"", FILE_WRITE_DATA,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN, FILE_DIRECTORY_FILE);
    if (lock.status == kStatusSharingViolation) {
        return std::nullopt;
    }
    if (lock.status < 0) {
        failWithStatus(lock.status, "cannot lock the folder", path_);
    }
    return std::move(lock.handle);
}

}  // namespace zrk
