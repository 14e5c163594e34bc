#include <unistd.h>

#include "os_handle.h"

namespace zrk {

bool OsHandle::close() {
    if (value_ == kNone) {
        return true;
    }
    return ::close(static_cast<int>(std::exchange(value_, kNone))) == 0;
}

}  // namespace zrk
