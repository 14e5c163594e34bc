#include "nt_files_win32.h"

#include <cstring>
#include <optional>

#include "system_error.h"

extern "C" NTSTATUS NTAPI NtSetInformationFile(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS);

namespace zrk {

namespace {

constexpr auto kFileNameInformation = static_cast<FILE_INFORMATION_CLASS>(9);
constexpr auto kFileDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr auto kFileAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
constexpr std::size_t kLongestName = 32768;  // characters, as NT counts a path

struct AttributeTag {
    ULONG attributes;
    ULONG reparseTag;
};

// The handle's path from the root of its volume, as the system names it.
std::optional<std::wstring> nameOf(HANDLE handle) {
    std::wstring buffer(kLongestName + 2, L'\0');
    IO_STATUS_BLOCK io{};
    NTSTATUS status = ::NtQueryInformationFile(handle, &io, buffer.data(),
                                               static_cast<ULONG>(buffer.size() * sizeof(wchar_t)),
                                               kFileNameInformation);
    if (status < 0) {
        return std::nullopt;
    }
    ULONG bytes = 0;
    std::memcpy(&bytes, buffer.data(), sizeof bytes);
    return buffer.substr(sizeof bytes / sizeof(wchar_t), bytes / sizeof(wchar_t));
}

bool isReparsePoint(HANDLE handle) {
    AttributeTag tag{};
    IO_STATUS_BLOCK io{};
    NTSTATUS status =
        ::NtQueryInformationFile(handle, &io, &tag, sizeof tag, kFileAttributeTagInformation);
    return status < 0 || (tag.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

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

bool reachedDirectly(HANDLE folder, HANDLE item, std::wstring_view name) {
    std::optional<std::wstring> above = nameOf(folder);
    std::optional<std::wstring> found = nameOf(item);
    if (!above || !found || isReparsePoint(item)) {
        return false;
    }
    if (!above->ends_with(L'\\')) {
        *above += L'\\';
    }
    return sameText(*found, *above + std::wstring(name));
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
