#pragma once

// The calls each system gives Folder: one name in a held folder at a time,
// never through a link unless a call is asked to follow one. Folder
// (folder.cpp) holds the rules built on them, once for both systems;
// folder_calls_posix.cpp and folder_calls_win32.cpp hold only these calls.

#include <cstdint>
#include <filesystem>
#include <string>

#include "os_handle.h"
#include "path_status.h"

namespace zrk {

// Whether a call may pass through a symbolic link (on Windows a reparse point
// that sends a name elsewhere, such as a junction) below the folder.
enum class Links { Follow, Refuse };

namespace calls {

// How a call on a name came out.
enum class Outcome {
    Done,
    Missing,  // nothing at the name
    Link,     // a link at the name, where links are refused
    Other,    // not what the call wants: a file for a folder, a folder or a special file for a file
    Taken,    // something is at the name, where a file is to be named
    InUse,    // another program holds it without leave to replace it (Windows)
    Failed,   // any other failure; `error` holds the system's code
};

struct Answer {
    Outcome outcome = Outcome::Done;
    std::uint32_t error =
        0;  // errno, or a Windows error code: for Failed, and where the system said
};

// A folder held open. On Windows also its path as the system names it, which
// each level opened below it is checked against.
struct HeldFolder {
    OsHandle handle;
    std::wstring systemName;
};

// The folder at `path`, following links; `shown` gets its path as messages
// show it.
Answer openFolderAt(const std::filesystem::path& path, HeldFolder& out, std::string& shown);

// The process's current folder, exactly as the process names it.
Answer openCurrentFolder(HeldFolder& out, std::string& shown);

// The folder `part` right below `parent`, made first when it is missing and
// `make` (Missing where it is missing and not made).
Answer openFolderIn(const HeldFolder& parent, const std::string& part, Links links, bool make,
                    HeldFolder& out);

// What is at `part`, without opening it where the system can tell.
Answer lookAt(const HeldFolder& parent, const std::string& part, Links links, PathStatus& out);

// Opens the plain file `part` for reading (Other for anything else) and tells
// what it is.
Answer openFileIn(const HeldFolder& parent, const std::string& part, Links links, OsHandle& out,
                  PathStatus& facts);

// A new file in `parent` to write. No one sees it under a name before it is
// published, and it goes with the process that made it, however that ends;
// where the system cannot do without a name, it has a hidden one, `name`.
struct Temporary {
    OsHandle handle;
    std::string name;  // empty for a file without a name
};
Answer createTemporary(const HeldFolder& parent, Temporary& out);

// Names the temporary `file`, made as `temporaryName` (empty where it has no
// name), `part`, in one step: where nothing is at the name (Taken where
// something is), or with `replace` over what is there (the caller has checked
// that it is a plain file).
Answer publish(const HeldFolder& parent, const OsHandle& file, const std::string& temporaryName,
               const std::string& part, bool replace);

// A name for a temporary that no other file in its folder is likely to have:
// kTemporaryPrefix and 16 hex digits.
std::string newTemporaryName();

// Removes a temporary that was never published, as far as it can; its
// handle may be open or closed.
void discard(const HeldFolder& parent, const std::string& temporaryName) noexcept;

// Removes the plain file `part` (Link or Other for anything else), never
// through a link.
Answer removeFileIn(const HeldFolder& parent, const std::string& part);

// Takes the lock that keeps runs apart (see Folder::lock); InUse where
// another run holds it.
Answer lockFolder(const HeldFolder& folder, OsHandle& out);

}  // namespace calls
}  // namespace zrk
