#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "file.h"
#include "folder_calls.h"
#include "os_handle.h"
#include "path_status.h"
#include "relative_path.h"

namespace zrk {

// An open folder. What lies below it is reached one level at a time, each
// level opened relative to the open handle of the one above: no path is ever
// rebuilt from names, so a folder renamed or swapped for a link cannot send a
// later call elsewhere, and what is checked is what is opened. No level on the
// way is ever a link; with Links::Refuse the last part may not be one either.
//
// The folders a walk opens stay open (up to kHeldFolders of them), so that a
// later path in one of them costs no walk: a folder renamed meanwhile is
// still the one reached (on Windows no one can rename a held level). Failures
// other than the ones each call names raise ToolError naming the path and the
// system's reason.
class Folder {
public:
    // Opens the folder at `path`, following links: the work folder lies
    // wherever the user put it.
    static Folder open(const std::filesystem::path& path);
    // Opens the process's current folder, exactly as the process names it.
    static Folder openCurrent();

    Folder(Folder&&) = default;
    Folder& operator=(Folder&&) = default;

    // The path as messages show it, ending in a separator.
    const std::string& path() const { return path_; }

    // The folder `name` right below this one, following a link (Output may be
    // one), made first when it is missing and `make`. Nothing when it is
    // missing and not made, or cannot be had; `refusal` then says why, where
    // asked.
    std::optional<Folder> openFolder(std::string_view name, bool make,
                                     std::string* refusal = nullptr) const;

    // What is at `path`. Only a missing path or something other than a folder
    // on the way count as Missing; with Links::Refuse a link at the end is a
    // Link, and a link on the way always is.
    PathStatus status(const RelativePath& path, Links links) const;

    // Opens a plain file for reading, and tells what it is where asked. A
    // link where it is refused raises ToolError saying so.
    File openForReading(const RelativePath& path, Links links, PathStatus* facts = nullptr) const;

    // Opens, refusing links, the file that `status` found at `path` as `id`,
    // `size` bytes long: that very file at that length, or ToolError saying
    // what changed.
    File openMeasured(const RelativePath& path, const FileId& id, std::int64_t size) const;

    // Writes the file at `path` whole or not at all: `write` fills a new file
    // that no one sees before it is whole and that a failure, an error or the
    // process's end leaves nowhere; only then does it take the name, in one
    // step. Every missing folder on the way is made, one level at a time,
    // keeping those made before a failure. A plain file at the name is
    // replaced, never written through, so another name of it (a hard link)
    // keeps its bytes; but not `keep`'s file under another name.
    //
    // Nothing when the file was written; otherwise why its place cannot take
    // a file of ours: a link on the way or at the name, a folder or a special
    // file at the name, `keep`'s file, a folder that cannot be made. A file
    // that cannot be created or named for another reason (among them, on
    // Windows, a file at the name held open without leave to replace it)
    // raises ToolError.
    std::optional<std::string> writeFile(const RelativePath& path, const FileId* keep,
                                         const std::function<void(File&)>& write) const;

    // Removes the plain file `name` if it is there. Anything else at that name
    // (a folder, a link), or a failure to remove it, raises ToolError.
    void removeFile(std::string_view name) const;

    // Takes the lock that keeps runs apart: at most one run at a time works in
    // a folder, across users and sessions. Held as long as the handle it gives
    // is open, and dropped by the system when a process is killed, so no stale
    // lock outlives its run; nothing is left on disk. Nothing when another run
    // holds it; any other failure raises ToolError.
    std::optional<OsHandle> lock() const;

private:
    Folder(calls::HeldFolder top, std::string path);

    // Opens the folders of `path` but its last part, reusing the levels still
    // held from the last walk; on success `reached` is the last of them.
    calls::Answer walkTo(const RelativePath& path, bool make,
                         const calls::HeldFolder*& reached) const;
    std::optional<std::string> publish(const calls::HeldFolder& folder, const File& file,
                                       const std::string& temporaryName, const std::string& name,
                                       const FileId* keep, const std::string& shown) const;

    // Well below the descriptors a process may hold open.
    static constexpr std::size_t kHeldFolders = 256;

    calls::HeldFolder top_;
    std::string path_;
    // The folders walked so far below top_, by their parts joined with '/'.
    mutable std::unordered_map<std::string, calls::HeldFolder> held_;
};

}  // namespace zrk
