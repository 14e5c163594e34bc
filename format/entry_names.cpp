#include "entry_names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

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
// COM and LPT include 0 and the code page's superscripts 1, 2 and 3.
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
    constexpr std::string_view kPortDigits = "0123456789\xB9\xB2\xB3";
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           kPortDigits.find(upper[3]) != std::string_view::npos;
}

// Windows drops trailing dots and spaces from a part, so such a part may turn
// into ".." or into nothing.
bool isOnlyDotsAndSpaces(std::string_view part) {
    return part.find_first_not_of(". ") == std::string_view::npos;
}

bool partIsAllowed(std::string_view part, bool isLast, NameRules rules) {
    if (part == ".") {
        return !isLast;  // a last "." names the folder itself
    }
    if (part == ".." || part.find('\0') != std::string_view::npos) {
        return false;
    }
    if (rules == NameRules::Windows) {
        // ':' reaches drives and streams; the others, and the control
        // characters, no Windows file name holds.
        bool control = std::any_of(part.begin(), part.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20; });
        return !control && part.find_first_of(":<>\"|?*") == std::string_view::npos &&
               !isOnlyDotsAndSpaces(part) && !isWindowsDeviceName(part);
    }
    return true;
}

std::string_view withoutTrailingDotsAndSpaces(std::string_view part) {
    std::size_t end = part.find_last_not_of(". ");
    return part.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

}  // namespace

bool nameIsTheManifest(std::string_view name, NameRules rules) {
    std::string_view file;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = std::min(name.find_first_of("\\/", start), name.size());
        std::string_view part = name.substr(start, end - start);
        if (!part.empty() && part != ".") {
            if (!file.empty()) {
                return false;  // in a subfolder
            }
            file = part;
        }
        start = end + 1;
    }
    if (rules == NameRules::Windows) {
        return upperAscii(withoutTrailingDotsAndSpaces(file)) == upperAscii(kManifestName);
    }
    return file == kManifestName;
}

bool nameStaysInsideOutput(std::string_view name, NameRules rules) {
    if (name.empty() || isNameSeparator(name.front()) || isNameSeparator(name.back())) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !isNameSeparator(name[end])) {
            ++end;
        }
        std::string_view part = name.substr(start, end - start);
        // An empty part between two separators adds no level.
        if (!part.empty() && !partIsAllowed(part, end == name.size(), rules)) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace zrk
