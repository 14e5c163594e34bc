// The folder calls through Windows handles: each name opened with
// NtCreateFile relative to its folder's handle, as a reparse point itself
// rather than what it points to where links are refused, and checked to be
// that very name (reachedDirectly). Folders are held with an access that takes
// part in sharing and without leave to delete, so that no one renames a held
// level or swaps it for a junction. New files are marked for deletion from
// the start, so that however the process ends they go with it, until they are
// named.

#include "folder_calls.h"
#include "nt_files_win32.h"
#include "wide_text_win32.h"
#include "windows_names.h"

namespace zrk::calls {

namespace {

constexpr ULONG kShareLevel = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Listing and traversing take part in sharing; reading attributes alone
// would not, and leave the level free to be renamed.
constexpr ACCESS_MASK kLevelAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// The longest part of a path, in UTF-16 units, that a Windows file system
// takes; the native calls count a name's length in 16 bits.
constexpr std::size_t kLongestPart = 255;
constexpr std::uint32_t kNameTooLong = ERROR_FILENAME_EXCED_RANGE;

Answer answerFor(NTSTATUS status) {
    if (status >= 0) {
        return {};
    }
    std::uint32_t error = errorOf(status);
    if (isMissing(status)) {
        return {Outcome::Missing, error};
    }
    switch (status) {
        case kStatusNotAFolder:
        case kStatusFileIsAFolder:
            return {Outcome::Other, error};
        case kStatusNameCollision:
            return {Outcome::Taken, error};
        case kStatusSharingViolation:
            return {Outcome::InUse, error};
        default:
            return {Outcome::Failed, error};
    }
}

// Opens `part` below `parent`, then checks that what was opened is that very
// name where links are refused, and tells what it is.
Answer openChecked(const HeldFolder& parent, const std::string& part, Links links,
                   ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
                   Opened& opened, Facts& facts) {
    std::wstring name = utf8ToWide(part);
    if (name.size() > kLongestPart) {
        return {Outcome::Failed, kNameTooLong};
    }
    bool refuse = links == Links::Refuse;
    opened = openRelative(osHandle(parent.handle), name, access, share, disposition,
                          options | (refuse ? kOpenReparsePoint : 0));
    if (opened.status < 0) {
        return answerFor(opened.status);
    }
    NTSTATUS why = 0;
    std::optional<Facts> found = factsOf(osHandle(opened.handle), &why);
    if (refuse && !reachedDirectly(found, pathIn(parent.systemName, name))) {
        return {Outcome::Link, ERROR_CANT_ACCESS_FILE};
    }
    if (!found) {
        return answerFor(why);
    }
    facts = std::move(*found);
    return {};
}

PathStatus statusOf(const Facts& facts) {
    bool folder = (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool hidden = (facts.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    return {folder ? PathKind::Folder : PathKind::File, folder ? 0 : facts.size, hidden, facts.id};
}

Answer hold(const std::wstring& path, HeldFolder& out) {
    HANDLE handle = ::CreateFileW(path.c_str(), kLevelAccess, kShareLevel, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {Outcome::Failed, ::GetLastError()};
    }
    OsHandle held(reinterpret_cast<std::intptr_t>(handle));
    NTSTATUS why = 0;
    std::optional<Facts> facts = factsOf(handle, &why);
    if (!facts) {
        return answerFor(why);
    }
    if ((facts->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return {Outcome::Other, ERROR_DIRECTORY};
    }
    out = {std::move(held), std::move(facts->name)};
    return {};
}

std::string shownFolder(const std::wstring& path) {
    std::string shown = wideToShown(path);
    return shown.ends_with('\\') ? shown : shown + '\\';
}

// The \\?\ form of a path as it stands: no part is shortened or dropped, so
// that a folder named with trailing dots or spaces stays that folder, and a
// path of any length reaches the system.
std::wstring verbatim(std::wstring path) {
    if (path.starts_with(L"\\\\?\\")) {
        return path;
    }
    if (path.starts_with(L"\\\\.\\")) {
        return L"\\\\?\\" + path.substr(4);
    }
    return path.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
}

// A path a caller names, made whole as Win32 would read it.
std::wstring fullPath(const std::filesystem::path& path) {
    std::wstring full(path.native().size() + MAX_PATH, L'\0');
    DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    }
    full.resize(length);
    return full;
}

}  // namespace

Answer openFolderAt(const std::filesystem::path& path, HeldFolder& out, std::string& shown) {
    shown = shownFolder(path.native());
    return hold(verbatim(fullPath(path)), out);
}

Answer openCurrentFolder(HeldFolder& out, std::string& shown) {
    std::wstring current(::GetCurrentDirectoryW(0, nullptr), L'\0');
    current.resize(::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
    shown = shownFolder(current);
    return hold(verbatim(current), out);
}

Answer openFolderIn(const HeldFolder& parent, const std::string& part, Links links, bool make,
                    HeldFolder& out) {
    Opened opened;
    Facts facts;
    Answer answer =
        openChecked(parent, part, links, kLevelAccess, kShareLevel, make ? FILE_OPEN_IF : FILE_OPEN,
                    FILE_DIRECTORY_FILE, opened, facts);
    if (answer.outcome == Outcome::Done) {
        out = {std::move(opened.handle), std::move(facts.name)};
    }
    return answer;
}

Answer lookAt(const HeldFolder& parent, const std::string& part, Links links, PathStatus& out) {
    Opened opened;
    Facts facts;
    Answer answer = openChecked(parent, part, links, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0,
                                opened, facts);
    if (answer.outcome == Outcome::Done) {
        out = statusOf(facts);
    }
    return answer;
}

// A file whose reparse point only marks how its data are kept is opened once
// more, through that point, so that it reads as the file it is; it must be
// the file first opened.
Answer openFileIn(const HeldFolder& parent, const std::string& part, Links links, OsHandle& out,
                  PathStatus& facts) {
    Opened opened;
    Facts found;
    constexpr ULONG kOptions = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY;
    Answer answer = openChecked(parent, part, links, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                                kOptions, opened, found);
    if (answer.outcome != Outcome::Done) {
        return answer;
    }
    if (found.reparseTag != 0 && links == Links::Refuse) {
        Opened through = openRelative(osHandle(parent.handle), utf8ToWide(part), GENERIC_READ,
                                      FILE_SHARE_READ, FILE_OPEN, kOptions);
        std::optional<Facts> again = factsOf(osHandle(through.handle));
        if (through.status < 0 || !again || again->id != found.id) {
            return through.status < 0 ? answerFor(through.status)
                                      : Answer{Outcome::Link, ERROR_CANT_ACCESS_FILE};
        }
        opened = std::move(through);
    }
    facts = statusOf(found);
    out = std::move(opened.handle);
    return {};
}

Answer createTemporary(const HeldFolder& parent, Temporary& out) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = newTemporaryName();
        Opened created = openRelative(osHandle(parent.handle), utf8ToWide(name),
                                      GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
        if (created.status == kStatusNameCollision) {
            continue;
        }
        if (created.status < 0) {
            return answerFor(created.status);
        }
        if (NTSTATUS status = setDeletePending(osHandle(created.handle), true); status < 0) {
            return answerFor(status);
        }
        out = {std::move(created.handle), name};
        return {};
    }
    return {Outcome::Failed, ERROR_FILE_EXISTS};
}

Answer publish(const HeldFolder& parent, const OsHandle& file, const std::string& temporaryName,
               const std::string& part, bool replace) {
    (void)temporaryName;
    std::wstring name = utf8ToWide(part);
    if (name.size() > kLongestPart) {
        return {Outcome::Failed, kNameTooLong};
    }
    if (NTSTATUS status = setDeletePending(osHandle(file), false); status < 0) {
        return answerFor(status);
    }
    NTSTATUS status = renameInto(osHandle(file), osHandle(parent.handle), name, replace);
    if (status < 0) {
        setDeletePending(osHandle(file), true);  // still ours to drop
    }
    // Where a file at the name is held open without leave to delete, the
    // system refuses the rename; nothing is lost.
    return status == kStatusAccessDenied && replace ? Answer{Outcome::InUse, errorOf(status)}
                                                    : answerFor(status);
}

void discard(const HeldFolder&, const std::string&) noexcept {
    // Marked for deletion since it was made: closing its handle removes it.
}

// A file is deleted only through a handle that is that very name: Wine
// deletes the target of a link through which a handle was opened.
Answer removeFileIn(const HeldFolder& parent, const std::string& part) {
    Opened opened;
    Facts facts;
    Answer answer = openChecked(parent, part, Links::Refuse, DELETE | FILE_READ_ATTRIBUTES,
                                kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE, opened, facts);
    if (answer.outcome != Outcome::Done) {
        return answer;
    }
    return answerFor(deleteNow(osHandle(opened.handle)));
}

// The folder opened once more, for writing and without leave for anyone else
// to open it for writing: a second run's open fails with a sharing violation,
// whatever its user, session or machine. Reading and listing the folder stay
// open to everyone.
Answer lockFolder(const HeldFolder& folder, OsHandle& out) {
    Opened lock = openRelative(osHandle(folder.handle), L"", FILE_WRITE_DATA,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN, FILE_DIRECTORY_FILE);
    if (lock.status >= 0) {
        out = std::move(lock.handle);
    }
    return answerFor(lock.status);
}

}  // namespace zrk::calls
