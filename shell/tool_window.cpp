#include "tool_window.h"

#include <new>

namespace zrk {

std::string errorReport(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        // The library's own text ("std::bad_alloc") tells a user nothing.
        return "not enough memory to go on; the input may be damaged or too large for this "
               "machine";
    }
    return error.what();
}

}  // namespace zrk
