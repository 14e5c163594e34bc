#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zrk {

// How a system reads the names in a path; entry names are checked against the
// rules of the system they are written on.
enum class NameRules { Posix, Windows };

// The parts of the path below Output that an entry's name stands for, as the
// system opens them, or nothing when the name cannot stand for a file strictly
// inside Output. `name` is the entry's name in UTF-8, as the system reads it
// after converting it from the archive's code page, with '\' or '/' between
// folders. Empty and "." parts add no level and are dropped.
//
// Refused: an empty name; a name that begins or ends with a separator (rooted,
// or naming a folder); a ".." part; a last part that is "."; a zero byte; a
// part named as the files a run is still writing (kTemporaryPrefix); and
// under Windows rules also ':' (drives, streams), the characters <>"|?* and
// control characters, parts made only of dots and spaces, and device names
// such as CON or COM1, with or without an extension or trailing dots and
// spaces. Windows drops the dots and spaces that end a part, so under its
// rules they are dropped here too: what is checked is what is opened.
std::optional<std::vector<std::string>> partsInsideOutput(std::string_view name, NameRules rules);

// True when a path of these parts below Output is Output's manifest itself:
// "manifest.txt", under Windows rules in any letter case.
bool partsNameTheManifest(const std::vector<std::string>& parts, NameRules rules);

}  // namespace zrk
