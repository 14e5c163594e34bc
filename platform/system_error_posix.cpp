#include <cerrno>
#include <cstring>

#include "system_error.h"

namespace zrk {

std::string systemErrorText(std::uint32_t code) {
    return std::strerror(static_cast<int>(code));
}

std::uint32_t lastErrorCode() {
    return static_cast<std::uint32_t>(errno);
}

}  // namespace zrk
