#include "ansi_text.h"

namespace zrk {

// The ANSI calls take names in the system's code page as they stand.
std::string ansiToNative(std::string_view ansi) {
    return std::string(ansi);
}

}  // namespace zrk
