#include <windows.h>

#include "os_handle.h"

namespace zrk {

bool OsHandle::close() {
    if (value_ == kNone) {
        return true;
    }
    return ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(value_, kNone))) != 0;
}

}  // namespace zrk
