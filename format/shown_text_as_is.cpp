#include "ansi_text.h"

namespace zrk {

// The Windows window takes the system's code page as it stands.
std::string shownText(std::string_view ansi) {
    return std::string(ansi);
}

std::string_view ansiCodePageName() {
    return "the system's ANSI code page";
}

}  // namespace zrk
