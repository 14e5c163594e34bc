#include "entry_names.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "work_files.h"

namespace zrk {

namespace {

bool isNameSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

// Windows opens a device, not a file, when a name's part before its first dot,
// without trailing spaces, is a device name; in any letter case. The digits of
// COM and LPT include 0 and the superscripts 1, 2 and 3 (U+00B9, U+00B2 and
// U+00B3, two bytes each in UTF-8).
bool isWindowsDeviceName(std::string_view part) {
    std::string_view base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    std::string upper = upperAscii(base);
    constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                          "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), upper) != kDevices.end()) {
        return true;
    }
    if (!upper.starts_with("COM") && !upper.starts_with("LPT")) {
        return false;
    }
    std::string_view digit = std::string_view(upper).substr(3);
    constexpr std::array<std::string_view, 3> kSuperscripts = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    return (digit.size() == 1 && std::isdigit(static_cast<unsigned char>(digit[0]))) ||
           std::find(kSuperscripts.begin(), kSuperscripts.end(), digit) != kSuperscripts.end();
}

// Windows drops trailing dots and spaces from a part, so such a part may turn
// into ".." or into nothing.
std::string_view withoutTrailingDotsAndSpaces(std::string_view part) {
    std::size_t end = part.find_last_not_of(". ");
    return part.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

bool windowsAllows(std::string_view part) {
    // ':' reaches drives and streams; the others, and the control characters,
    // no Windows file name holds.
    bool control = std::any_of(part.begin(), part.end(),
                               [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return !control && part.find_first_of(":<>\"|?*") == std::string_view::npos &&
           !withoutTrailingDotsAndSpaces(part).empty() && !isWindowsDeviceName(part);
}

}  // namespace

std::optional<std::vector<std::string>> partsInsideOutput(std::string_view name, NameRules rules) {
    if (name.empty() || isNameSeparator(name.front()) || isNameSeparator(name.back()) ||
        name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::string_view last;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = start;
        while (end < name.size() && !isNameSeparator(name[end])) {
            ++end;
        }
        last = name.substr(start, end - start);
        start = end + 1;
        if (last.empty() || last == ".") {
            continue;  // adds no level
        }
        if (last == ".." || last.starts_with(kTemporaryPrefix) ||
            (rules == NameRules::Windows && !windowsAllows(last))) {
            return std::nullopt;
        }
        parts.emplace_back(rules == NameRules::Windows ? withoutTrailingDotsAndSpaces(last) : last);
    }
    if (last == ".") {
        return std::nullopt;  // names the folder itself
    }
    return parts;
}

bool partsNameTheManifest(const std::vector<std::string>& parts, NameRules rules) {
    if (parts.size() != 1) {
        return false;
    }
    if (rules == NameRules::Windows) {
        return upperAscii(parts[0]) == upperAscii(kManifestName);
    }
    return parts[0] == kManifestName;
}

}  // namespace zrk
