#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "file.h"
#include "os_handle.h"
#include "path_status.h"
#include "relative_path.h"

namespace zrk {

// Whether a call may pass through a symbolic link (on Windows any reparse
// point, such as a junction) below the folder.
enum class Links { Follow, Refuse };

// An open folder. What lies below it is reached one level at a time, each
// level opened relative to the open handle of the one above: no path is ever
// rebuilt from names, so a folder renamed or swapped for a link cannot send a
// later call elsewhere, and what is checked is what is opened. With
// Links::Refuse no level, the last one included, may be a link. Failures other
// than the ones each call names raise ToolError naming the path and the
// system's reason.
class Folder {
public:
    // Opens the folder at `path`, following links: the work folder lies
    // wherever the user put it.
    static Folder open(const std::filesystem::path& path);

    // The path as messages show it, ending in a separator.
    const std::string& path() const { return path_; }

    // The folder `name` right below this one, following a link (Output may be
    // one), made first when it is missing and `make`. Nothing when it is
    // missing and not made, cannot be made, or is not a folder.
    std::optional<Folder> openFolder(std::string_view name, bool make) const;

    // What is at `path`. Only a missing path or a missing folder on the way
    // count as Missing; with Links::Refuse a link on the way or at the end is a
    // Link.
    PathStatus status(const RelativePath& path, Links links) const;

    // Opens a plain file for reading. With Links::Refuse, a link on the way or
    // at the end raises ToolError saying so.
    File openForReading(const RelativePath& path, Links links) const;

    // The file at `path` made anew for writing, never through a link: every
    // missing folder on the way is made, one level at a time, keeping those
    // made before a failure; a plain file already there is removed first, so
    // that another name of it (a hard link) keeps its bytes; then the file is
    // created where nothing is. Nothing, with the path left as it is, where the
    // path cannot take a plain file of ours: a link on the way or at the end, a
    // folder, a named pipe or other special file, a folder that cannot be
    // made, `keep` itself under another name, or on Windows a file open
    // elsewhere without leave to delete it.
    std::optional<File> replaceFile(const RelativePath& path, const File& keep) const;

    // Removes the plain file `name` if it is there. Anything else at that name
    // (a folder, a link), or a failure to remove it, raises ToolError.
    void removeFile(std::string_view name) const;

    // Creates the file `name` where nothing is; anything there raises ToolError.
    File createNewFile(std::string_view name) const;

    // Takes the lock that keeps runs apart: at most one run at a time works in
    // a folder, across users and sessions. Held as long as the handle it gives
    // is open, and dropped by the system when a process is killed, so no stale
    // lock outlives its run; nothing is left on disk. Nothing when another run
    // holds it; any other failure raises ToolError.
    std::optional<OsHandle> lock() const;

private:
    Folder(OsHandle handle, std::string path)
        : handle_(std::move(handle)), path_(std::move(path)) {}

    OsHandle handle_;
    std::string path_;
};

}  // namespace zrk
