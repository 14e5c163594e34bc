#include "relative_path.h"

namespace zrk {

// The name is checked in the form the system reads it: converted from the
// code page first, so that on Windows a byte of a two-byte character is never
// taken for a separator and a device name is known in any code page.
std::optional<RelativePath> RelativePath::fromEntryName(std::string_view ansiName) {
    std::optional<std::string> text = ansiToSystemText(ansiName);
    std::optional<std::vector<std::string>> parts =
        text ? partsInsideOutput(*text, hostNameRules()) : std::nullopt;
    if (!parts) {
        return std::nullopt;
    }
    return RelativePath(std::move(*parts));
}

std::string RelativePath::shown() const {
    std::string text;
    for (const std::string& part : parts_) {
        if (!text.empty()) {
            text += pathSeparator();
        }
        text += part;
    }
    return shownSystemText(std::move(text));
}

bool RelativePath::isTheManifest() const {
    return partsNameTheManifest(parts_, hostNameRules());
}

}  // namespace zrk
