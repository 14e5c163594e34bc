#include "ansi_text.h"
#include "relative_path.h"

namespace zrk {

NameRules hostNameRules() {
    return NameRules::Posix;
}

char pathSeparator() {
    return '/';
}

// Linux names are bytes, shown and stored as UTF-8: the archive's code page
// is read as Windows-1252, which gives every byte a character.
std::optional<std::string> ansiToSystemText(std::string_view ansi) {
    return windows1252ToUtf8(ansi);
}

std::string shownSystemText(std::string text) {
    return text;
}

}  // namespace zrk
