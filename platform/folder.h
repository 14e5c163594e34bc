#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "file.h"
#include "path_status.h"

namespace zrk {

// An open folder. What lies below it is reached relative to the open handle,
// so a folder renamed or swapped for a link after it was opened cannot send a
// later file elsewhere. Relative paths are the platform's own (see
// nativeRelativePath). Failures other than the ones each call names raise
// ToolError naming the path and the system's reason.
class Folder {
public:
    // Opens the folder at `path`, following links: the work folder and Output
    // lie wherever the user put them.
    static Folder open(const std::filesystem::path& path);

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) = delete;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    // The native path, ending in a separator; for messages.
    const std::string& path() const { return path_; }

    // What is at `relative`. Only a missing path or a missing folder on the way
    // count as Missing; any other failure raises ToolError.
    PathStatus status(std::string_view relative, bool followLinks) const;

    // The folder `name` right below this one, made first when it is missing.
    // Nothing when it cannot be made or is not a folder, or, unless
    // `followLink`, when it is a link. Levels are made one at a time, so a
    // failure keeps what was made before it.
    std::optional<Folder> makeChild(std::string_view name, bool followLink) const;

    // Creates the file, or empties an existing plain file, for writing,
    // without passing through a link anywhere below this folder. Gives nothing
    // and leaves the path as it is where the path cannot take a plain file of
    // ours: a link on the way or at its end, a folder, a named pipe or other
    // special file, a missing folder on the way, `source` itself reached under
    // another name (a hard link), or on Windows a file open elsewhere without
    // leave to write. So a write never lands where a link points, never waits
    // for a reader for good, and never empties the file it copies from.
    std::optional<File> createPlainFile(std::string_view relative, const File& source) const;

    // Opens a file for reading. Unless `followLinks`, a link anywhere below
    // this folder raises ToolError.
    File openForReading(std::string_view relative, bool followLinks) const;

    // Creates the file `name`, or empties an existing one.
    File createForWriting(std::string_view name) const;

    // True when the file `name` is gone afterwards.
    bool remove(std::string_view name) const;

    // Takes the lock that keeps runs apart: at most one run at a time works
    // in a folder. Held until the folder is closed (on Windows until the
    // process ends), and dropped by the system when a process is killed, so
    // no stale lock outlives its run; nothing is left on disk. False when
    // another run holds it.
    bool tryLock() const;

private:
    Folder(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    static void closeQuietly(std::intptr_t handle) noexcept;

    static constexpr std::intptr_t kNoHandle = -1;

    std::intptr_t handle_;
    std::string path_;
};

}  // namespace zrk
