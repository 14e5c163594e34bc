#include "nt_files_win32.h"

#include <cstddef>
#include <vector>

#include "system_error.h"

extern "C" NTSTATUS NTAPI NtSetInformationFile(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS);

namespace zrk {

namespace {

constexpr auto kFileDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr auto kFileAllInformation = static_cast<FILE_INFORMATION_CLASS>(18);
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

bool sameText(std::wstring_view one, std::wstring_view other) {
    return ::CompareStringOrdinal(one.data(), static_cast<int>(one.size()), other.data(),
                                  static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
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
    return Facts{all->attributes, all->endOfFile.QuadPart,
                 std::wstring(all->name, all->nameBytes / sizeof(WCHAR))};
}

std::wstring pathIn(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (!path.ends_with(L'\\')) {
        path += L'\\';
    }
    return path + std::wstring(name);
}

bool reachedDirectly(const std::optional<Facts>& facts, std::wstring_view expected) {
    return facts && (facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
           sameText(facts->name, expected);
}

NTSTATUS markForDeletion(HANDLE handle) {
    BOOLEAN deleteFile = TRUE;
    IO_STATUS_BLOCK io{};
    return ::NtSetInformationFile(handle, &io, &deleteFile, sizeof deleteFile,
                                  kFileDispositionInformation);
}

bool isSameFile(HANDLE one, HANDLE other) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return ::GetFileInformationByHandle(one, &a) && ::GetFileInformationByHandle(other, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

void failWithStatus(NTSTATUS status, const std::string& what, const std::string& path) {
    ::SetLastError(::RtlNtStatusToDosError(status));
    failWithLastError(what, path);
}

}  // namespace zrk
