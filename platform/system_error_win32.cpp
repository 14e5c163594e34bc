#include <windows.h>

#include "system_error.h"

namespace zrk {

namespace {

constexpr DWORD kMessageCapacity = 512;

}  // namespace

std::string systemErrorText(std::uint32_t code) {
    char buffer[kMessageCapacity] = {};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, buffer, kMessageCapacity, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "system error " + std::to_string(code);
    }
    return text;
}

std::uint32_t lastErrorCode() {
    return ::GetLastError();
}

}  // namespace zrk
