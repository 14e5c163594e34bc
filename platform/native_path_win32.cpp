#include <windows.h>

#include <vector>

#include "errors.h"
#include "native_path.h"
#include "system_error_win32.h"

namespace zrk {

std::string currentWorkDir() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            throw ToolError("cannot read the current directory: " + lastErrorText());
        }
        if (length < buffer.size()) {
            std::string dir(buffer.data(), length);
            if (!dir.ends_with('\\') && !dir.ends_with('/')) {
                dir += '\\';
            }
            return dir;
        }
        buffer.resize(length);
    }
}

// The ANSI calls take names in the system's code page as they stand.
std::string nativeRelativePath(std::string_view ansiPath) {
    std::string relative(ansiPath);
    for (char& c : relative) {
        if (c == '/') {
            c = '\\';
        }
    }
    return relative;
}

NameRules hostNameRules() {
    return NameRules::Windows;
}

}  // namespace zrk
