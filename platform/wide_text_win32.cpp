#include <windows.h>

#include "wide_text_win32.h"
#include "windows_names.h"

namespace zrk {

namespace {

std::wstring toWide(UINT codePage, DWORD flags, std::string_view text, bool& ok) {
    ok = true;
    if (text.empty()) {
        return {};
    }
    auto length = static_cast<int>(text.size());
    int needed = ::MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ok = needed > 0 &&
         ::MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed) == needed;
    return wide;
}

// A character the code page lacks shows as '?', never as a look-alike such as
// '\\' for a fullwidth backslash, where the code page takes such options.
std::string fromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    bool standIns = codePageTakesStandIns(codePage == CP_ACP ? ::GetACP() : codePage);
    DWORD flags = standIns ? WC_NO_BEST_FIT_CHARS : 0;
    const char* fallback = standIns ? "?" : nullptr;
    auto length = static_cast<int>(wide.size());
    int needed =
        ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, fallback, nullptr);
    std::string text(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    int made = ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), needed,
                                     fallback, nullptr);
    text.resize(static_cast<std::size_t>(made > 0 ? made : 0));
    return text;
}

}  // namespace

std::optional<std::wstring> ansiToWide(std::string_view ansi) {
    bool ok = false;
    std::wstring wide = toWide(CP_ACP, MB_ERR_INVALID_CHARS, ansi, ok);
    return ok ? std::optional(std::move(wide)) : std::nullopt;
}

std::wstring utf8ToWide(std::string_view utf8) {
    bool ok = false;
    return toWide(CP_UTF8, 0, utf8, ok);
}

std::string wideToUtf8(std::wstring_view wide) {
    return fromWide(CP_UTF8, wide);
}

std::string wideToShown(std::wstring_view wide) {
    return fromWide(CP_ACP, wide);
}

}  // namespace zrk
