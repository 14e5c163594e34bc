#include "nt_files_win32.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "windows_names.h"

extern "C" NTSTATUS NTAPI NtSetInformationFile(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS);

namespace zrk {

namespace {

constexpr auto kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr auto kFileDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr auto kFileAllInformation = static_cast<FILE_INFORMATION_CLASS>(18);
constexpr auto kFileAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
constexpr auto kFileIdInformation = static_cast<FILE_INFORMATION_CLASS>(59);
constexpr auto kFileDispositionInformationEx = static_cast<FILE_INFORMATION_CLASS>(64);
constexpr auto kFileRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
constexpr ULONG kDispositionDelete = 0x1, kDispositionPosix = 0x2;
constexpr ULONG kRenameReplace = 0x1, kRenamePosix = 0x2;
constexpr std::size_t kLongestName = 32768;  // characters, as NT counts a path

// FILE_ALL_INFORMATION, laid out as the system gives it.
struct AllInformation {
    LARGE_INTEGER creation, lastAccess, lastWrite, change;
    ULONG attributes;
    LARGE_INTEGER allocation, endOfFile;
    ULONG links;
    BOOLEAN deletePending, directory;
    LARGE_INTEGER index;
    ULONG ea;
    ACCESS_MASK access;
    LARGE_INTEGER position;
    ULONG mode, alignment, nameBytes;
    WCHAR name[1];
};

// FILE_RENAME_INFORMATION, whose first field is the flags of the Ex form or
// the replace flag of the plain one.
struct RenameInformation {
    ULONG flags;
    HANDLE rootDirectory;
    ULONG nameBytes;
    WCHAR name[1];
};

bool sameText(std::wstring_view one, std::wstring_view other) {
    return ::CompareStringOrdinal(one.data(), static_cast<int>(one.size()), other.data(),
                                  static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

NTSTATUS setInformation(HANDLE handle, void* information, std::size_t size,
                        FILE_INFORMATION_CLASS kind) {
    IO_STATUS_BLOCK io{};
    return ::NtSetInformationFile(handle, &io, information, static_cast<ULONG>(size), kind);
}

// The Ex forms are missing from older systems and from Wine.
bool unknownClass(NTSTATUS status) {
    constexpr NTSTATUS kInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
    constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
    constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
    constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);
    return status == kInvalidInfoClass || status == kNotImplemented ||
           status == kInvalidParameter || status == kNotSupported;
}

FileId idOf(HANDLE handle, const AllInformation& all) {
    FILE_ID_INFO id{};
    IO_STATUS_BLOCK io{};
    if (::NtQueryInformationFile(handle, &io, &id, sizeof id, kFileIdInformation) >= 0) {
        std::uint64_t parts[2] = {};
        static_assert(sizeof parts == sizeof id.FileId);
        std::memcpy(parts, &id.FileId, sizeof parts);
        return {id.VolumeSerialNumber, parts[1], parts[0]};
    }
    // Systems without 128-bit identities: the 64-bit index, unique there.
    BY_HANDLE_FILE_INFORMATION info{};
    std::uint64_t volume =
        ::GetFileInformationByHandle(handle, &info) ? info.dwVolumeSerialNumber : 0;
    return {volume, 0, static_cast<std::uint64_t>(all.index.QuadPart)};
}

}  // namespace

bool isMissing(NTSTATUS status) {
    return status == kStatusNameNotFound || status == kStatusPathNotFound ||
           status == kStatusNoSuchFile;
}

HANDLE osHandle(const OsHandle& handle) {
    return reinterpret_cast<HANDLE>(handle.get());
}

Opened openRelative(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options) {
    UNICODE_STRING text{};
    text.Buffer = const_cast<PWSTR>(name.data());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    Opened opened;
    opened.status = ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                   FILE_ATTRIBUTE_NORMAL, share, disposition,
                                   options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (opened.status >= 0) {
        opened.handle = OsHandle(reinterpret_cast<std::intptr_t>(handle));
    }
    return opened;
}

std::optional<Facts> factsOf(HANDLE handle, NTSTATUS* why) {
    constexpr std::size_t kBytes = offsetof(AllInformation, name) + kLongestName * sizeof(WCHAR);
    thread_local std::vector<std::uint64_t> buffer(kBytes / sizeof(std::uint64_t) + 1);
    IO_STATUS_BLOCK io{};
    NTSTATUS status = ::NtQueryInformationFile(handle, &io, buffer.data(),
                                               static_cast<ULONG>(kBytes), kFileAllInformation);
    if (status < 0) {
        if (why != nullptr) {
            *why = status;
        }
        return std::nullopt;
    }
    const auto* all = reinterpret_cast<const AllInformation*>(buffer.data());
    Facts facts{all->attributes, 0, all->endOfFile.QuadPart,
                std::wstring(all->name, all->nameBytes / sizeof(WCHAR)), idOf(handle, *all)};
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        ::NtQueryInformationFile(handle, &io, &tag, sizeof tag, kFileAttributeTagInformation) >=
            0) {
        facts.reparseTag = tag.ReparseTag;
    }
    return facts;
}

std::wstring pathIn(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (!path.ends_with(L'\\')) {
        path += L'\\';
    }
    return path + std::wstring(name);
}

bool reachedDirectly(const std::optional<Facts>& facts, std::wstring_view expected) {
    return facts && !reparseTagSendsNameElsewhere(facts->reparseTag) &&
           sameText(facts->name, expected);
}

NTSTATUS setDeletePending(HANDLE handle, bool pending) {
    BOOLEAN deleteFile = pending ? TRUE : FALSE;
    return setInformation(handle, &deleteFile, sizeof deleteFile, kFileDispositionInformation);
}

NTSTATUS deleteNow(HANDLE handle) {
    ULONG flags = kDispositionDelete | kDispositionPosix;
    NTSTATUS status = setInformation(handle, &flags, sizeof flags, kFileDispositionInformationEx);
    return unknownClass(status) ? setDeletePending(handle, true) : status;
}

NTSTATUS renameInto(HANDLE handle, HANDLE folder, std::wstring_view name, bool replace) {
    std::size_t nameBytes = name.size() * sizeof(WCHAR);
    std::vector<std::uint64_t> buffer((offsetof(RenameInformation, name) + nameBytes) / 8 + 1);
    auto* rename = reinterpret_cast<RenameInformation*>(buffer.data());
    rename->flags = (replace ? kRenameReplace : 0) | kRenamePosix;
    rename->rootDirectory = folder;
    rename->nameBytes = static_cast<ULONG>(nameBytes);
    std::memcpy(rename->name, name.data(), nameBytes);
    std::size_t size = buffer.size() * sizeof(std::uint64_t);
    NTSTATUS status = setInformation(handle, rename, size, kFileRenameInformationEx);
    if (!unknownClass(status)) {
        return status;
    }
    rename->flags = replace ? TRUE : FALSE;  // ReplaceIfExists, a BOOLEAN in the same place
    return setInformation(handle, rename, size, kFileRenameInformation);
}

std::uint32_t errorOf(NTSTATUS status) {
    return ::RtlNtStatusToDosError(status);
}

}  // namespace zrk
