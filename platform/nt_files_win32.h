#pragma once

// Files and folders reached through the handle of the folder above them, with
// the system's native calls (NtCreateFile and its kin), which take a name
// relative to an open folder; the Win32 calls take only whole paths.

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "os_handle.h"
#include "path_status.h"

namespace zrk {

inline constexpr NTSTATUS kStatusNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
inline constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022);
inline constexpr NTSTATUS kStatusNameNotFound = static_cast<NTSTATUS>(0xC0000034);
inline constexpr NTSTATUS kStatusNameCollision = static_cast<NTSTATUS>(0xC0000035);
inline constexpr NTSTATUS kStatusPathNotFound = static_cast<NTSTATUS>(0xC000003A);
inline constexpr NTSTATUS kStatusSharingViolation = static_cast<NTSTATUS>(0xC0000043);
inline constexpr NTSTATUS kStatusFileIsAFolder = static_cast<NTSTATUS>(0xC00000BA);
inline constexpr NTSTATUS kStatusNotAFolder = static_cast<NTSTATUS>(0xC0000103);
// Opens a reparse point itself rather than what it points to.
inline constexpr ULONG kOpenReparsePoint = 0x00200000;

// Nothing is at the name, or a folder on its way is missing. A link whose
// target is missing shows as no such file.
bool isMissing(NTSTATUS status);

HANDLE osHandle(const OsHandle& handle);

struct Opened {
    NTSTATUS status = 0;
    OsHandle handle;  // when the status is a success
};

// NtCreateFile of `name` (one part; empty for `folder` itself) relative to the
// open folder `folder`, for synchronous use, in any letter case.
Opened openRelative(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options);

// What the system tells of an open file or folder.
struct Facts {
    ULONG attributes = 0;
    ULONG reparseTag = 0;  // where the attributes say it is a reparse point
    std::int64_t size = 0;
    std::wstring name;  // its path from the root of its volume
    FileId id;
};

// Nothing when the system does not tell, for instance where the name it would
// give no longer resolves; `why` then holds the status.
std::optional<Facts> factsOf(HANDLE handle, NTSTATUS* why = nullptr);

// The path of `name` in the folder that the system names `folder`.
std::wstring pathIn(std::wstring_view folder, std::wstring_view name);

// True when an item opened at the path `expected` is that very path: no
// reparse point that sends the name elsewhere (a symbolic link or a
// junction), and named so by the system. Wine goes through a Unix link even
// where it is asked not to, and shows no reparse point for a link to a file,
// but it names what it opened by the link's target.
bool reachedDirectly(const std::optional<Facts>& facts, std::wstring_view expected);

// Has the file deleted when its last handle closes, or no longer.
NTSTATUS setDeletePending(HANDLE handle, bool pending);

// Deletes the file now, where the system can: its name goes at once even while
// another program holds it open with leave to delete. Elsewhere marks it as
// setDeletePending does.
NTSTATUS deleteNow(HANDLE handle);

// Gives the open file `handle` the name `name` in the folder `folder`, over a
// file there where `replace`, with POSIX semantics where the system has them
// (a file open elsewhere with leave to delete is replaced too).
NTSTATUS renameInto(HANDLE handle, HANDLE folder, std::wstring_view name, bool replace);

// The Windows error code for a status, as messages word it.
std::uint32_t errorOf(NTSTATUS status);

}  // namespace zrk
