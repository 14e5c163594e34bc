#include "ansi_text.h"

namespace zrk {

std::string shownText(std::string_view ansi) {
    return windows1252ToUtf8(ansi);
}

std::string_view ansiCodePageName() {
    return "Windows-1252";
}

}  // namespace zrk
