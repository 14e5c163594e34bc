#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "ansi_text.h"
#include "errors.h"
#include "native_path.h"

namespace zrk {

std::string currentWorkDir() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            throw ToolError(std::string("cannot read the current directory: ") +
                            std::strerror(errno));
        }
        buffer.resize(buffer.size() * 2);
    }
    std::string dir(buffer.data());
    if (!dir.ends_with('/')) {
        dir += '/';
    }
    return dir;
}

std::string nativeRelativePath(std::string_view ansiPath) {
    std::string relative(ansiPath);
    for (char& c : relative) {
        if (c == '\\') {
            c = '/';
        }
    }
    return ansiToNative(relative);
}

NameRules hostNameRules() {
    return NameRules::Posix;
}

}  // namespace zrk
