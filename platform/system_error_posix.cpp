#include <cerrno>
#include <cstring>

#include "errors.h"
#include "system_error.h"

namespace zrk {

std::string lastErrorText() {
    return std::strerror(errno);
}

void failWithLastError(const std::string& what, const std::string& path) {
    throw ToolError(what + " " + path + ": " + lastErrorText());
}

}  // namespace zrk
