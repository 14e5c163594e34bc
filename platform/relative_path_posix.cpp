#include "ansi_text.h"
#include "relative_path.h"

namespace zrk {

// Linux names are bytes, shown and stored as UTF-8: the archive's code page
// is read as Windows-1252.
std::optional<RelativePath> RelativePath::fromEntryName(std::string_view ansiName) {
    std::optional<std::vector<std::string>> parts =
        partsInsideOutput(windows1252ToUtf8(ansiName), NameRules::Posix);
    if (!parts) {
        return std::nullopt;
    }
    return RelativePath(std::move(*parts));
}

std::string RelativePath::shown() const {
    std::string text;
    for (const std::string& part : parts_) {
        text += (text.empty() ? "" : "/") + part;
    }
    return text;
}

NameRules hostNameRules() {
    return NameRules::Posix;
}

}  // namespace zrk
