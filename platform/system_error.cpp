#include "system_error.h"

#include "errors.h"

namespace zrk {

void failWithError(const std::string& what, const std::string& path, std::uint32_t code) {
    throw ToolError(what + " " + path + ": " + systemErrorText(code));
}

void failWithLastError(const std::string& what, const std::string& path) {
    failWithError(what, path, lastErrorCode());
}

}  // namespace zrk
