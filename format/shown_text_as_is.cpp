#include "ansi_text.h"

namespace zrk {

// The Windows window takes the system's code page as it stands.
std::string shownText(std::string_view ansi) {
    return std::string(ansi);
}

}  // namespace zrk
