#pragma once

#include <optional>
#include <string>
#include <string_view>

// Windows takes names in UTF-16. Each name is converted once from the text it
// comes in: the archive's ANSI code page, or UTF-8 for the parts of a path.
namespace zrk {

// ANSI text (the system's code page) in UTF-16; nothing where the bytes are
// not valid text of that code page.
std::optional<std::wstring> ansiToWide(std::string_view ansi);

std::wstring utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::wstring_view wide);

// UTF-16 as messages show it, in the ANSI code page: a character the code page
// lacks shows as '?', never as a look-alike such as '\' for a fullwidth
// backslash.
std::string wideToShown(std::wstring_view wide);

}  // namespace zrk
