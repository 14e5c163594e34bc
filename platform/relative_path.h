#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry_names.h"

namespace zrk {

// A path below a folder: its parts in the system's text (UTF-8, also on
// Windows, whose calls take each part converted to UTF-16), none of them
// empty, "." or "..".
class RelativePath {
public:
    // One of our own names ("ZRK.DAT", "manifest.txt"): plain ASCII, one part.
    RelativePath(std::string_view name) : parts_{std::string(name)} {}

    // An entry's name, the archive's ANSI text with '\' or '/' between folders,
    // converted once into the system's text. Nothing when the name does not
    // convert or cannot stand for a file inside Output by the system's name
    // rules, which are checked on the converted form.
    static std::optional<RelativePath> fromEntryName(std::string_view ansiName);

    const std::vector<std::string>& parts() const { return parts_; }
    // With the system's separator, in the text messages are in.
    std::string shown() const;
    // True when the path is Output's manifest itself, by the system's rules.
    bool isTheManifest() const;

private:
    explicit RelativePath(std::vector<std::string> parts) : parts_(std::move(parts)) {}

    std::vector<std::string> parts_;
};

// The name rules of the system the programs run on.
NameRules hostNameRules();

// What each system gives RelativePath: the separator between folders; ANSI
// text in the system's text (UTF-8), nothing where it is no text of the code
// page; and the system's text as messages show it.
char pathSeparator();
std::optional<std::string> ansiToSystemText(std::string_view ansi);
std::string shownSystemText(std::string text);

}  // namespace zrk
