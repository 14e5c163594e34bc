#pragma once

#include <string_view>

namespace zrk {

// How a system reads the names in a path; entry names are checked against the
// rules of the system they are written on.
enum class NameRules { Posix, Windows };

// True when the entry name (the archive's single-byte text) names a file
// strictly inside the Output folder under the given platform rules. Both '\'
// and '/' separate folders. Refused: an empty name; a name that begins or ends
// with a separator (rooted, or naming a folder); a ".." part; a last part that
// is "."; and under Windows rules also ':' (drives, streams), the characters
// <>"|?* and control characters, parts made only of dots and spaces, and
// device names such as CON or COM1, with or without an extension or trailing
// dots and spaces.
bool nameStaysInsideOutput(std::string_view name, NameRules rules);

// True when the entry's file would be Output's manifest itself, which the run
// has just written: "manifest.txt" with only empty or "." folder parts before
// it, and under Windows rules also in any letter case and with the trailing
// dots and spaces that Windows drops.
bool nameIsTheManifest(std::string_view name, NameRules rules);

}  // namespace zrk
