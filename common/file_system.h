#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zrk {

// Paths here are the platform's own text: UTF-8 with '/' on Linux, ANSI with
// '\' on Windows.

// The current directory, ending in a folder separator.
std::string currentWorkDir();

bool isFolderSeparator(char c);

// Position of the path's last folder separator, or npos when it has none.
inline std::size_t lastFolderSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i-- > 0;) {
        if (isFolderSeparator(path[i])) {
            return i;
        }
    }
    return std::string_view::npos;
}

// `base` (ending in a separator) followed by `ansiRelative`, a path in the
// archive's form: backslashes, and slashes too, separate folders on every
// platform, and the text is turned into the platform's own form.
std::string nativeChildPath(const std::string& base, std::string_view ansiRelative);

// True for a plain file that is there; folders and, on Windows, hidden or
// system files do not count.
bool plainFileExists(const std::string& path);
bool folderExists(const std::string& path);
bool isPlainFile(const std::string& path);

// Makes one folder level; true when it exists afterwards.
bool makeFolder(const std::string& path);

// The length of a plain file, found with a single look at the file system;
// nothing when the path is missing or is not a plain file.
std::optional<std::int64_t> plainFileLength(const std::string& path);

// True when the file is gone afterwards.
bool deleteFile(const std::string& path);

// A folder's absolute path split into its root (a drive or "/") and the names
// below it, with "." and ".." resolved as text. `rootUsable` is false for a
// drive that does not exist or is not ready.
struct FolderRoute {
    std::string root;
    std::vector<std::string> parts;
    bool rootUsable = true;
};
FolderRoute folderRoute(const std::string& folder);

// `folder` followed by one name, with a separator between them.
std::string joinPath(const std::string& folder, const std::string& name);

// How a platform reads the names in a path; entry names are checked against the
// rules of the platform they are written on.
enum class NameRules { Posix, Windows };
NameRules hostNameRules();

// What a path stands for, without following a link at its end. `Link` is a
// symbolic link (on Windows, any reparse point such as a junction).
enum class PathKind { Missing, Folder, Link, Other };
PathKind pathKind(const std::string& path);

}  // namespace zrk
