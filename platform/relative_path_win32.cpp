#include "relative_path.h"
#include "wide_text_win32.h"

namespace zrk {

NameRules hostNameRules() {
    return NameRules::Windows;
}

char pathSeparator() {
    return '\\';
}

std::optional<std::string> ansiToSystemText(std::string_view ansi) {
    std::optional<std::wstring> wide = ansiToWide(ansi);
    return wide ? std::optional(wideToUtf8(*wide)) : std::nullopt;
}

std::string shownSystemText(std::string text) {
    return wideToShown(utf8ToWide(text));
}

}  // namespace zrk
