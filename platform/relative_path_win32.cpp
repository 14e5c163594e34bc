#include "relative_path.h"
#include "wide_text_win32.h"

namespace zrk {

// The name is checked in the form Windows reads it: converted from the code
// page first, so that a byte of a two-byte character is never taken for a
// separator and a device name is known in any code page.
std::optional<RelativePath> RelativePath::fromEntryName(std::string_view ansiName) {
    std::optional<std::wstring> wide = ansiToWide(ansiName);
    if (!wide) {
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> parts =
        partsInsideOutput(wideToUtf8(*wide), NameRules::Windows);
    if (!parts) {
        return std::nullopt;
    }
    return RelativePath(std::move(*parts));
}

std::string RelativePath::shown() const {
    std::string text;
    for (const std::string& part : parts_) {
        text += (text.empty() ? "" : "\\") + part;
    }
    return wideToShown(utf8ToWide(text));
}

NameRules hostNameRules() {
    return NameRules::Windows;
}

}  // namespace zrk
