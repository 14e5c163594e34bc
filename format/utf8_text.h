#pragma once

#include <string_view>

namespace zrk {

// Text saved as UTF-8 where the ANSI code page is expected: an editor's usual
// way to spoil a manifest.

// True when the text begins with the UTF-8 byte order mark, EF BB BF.
bool startsWithUtf8ByteOrderMark(std::string_view text);

// True when the text is valid UTF-8 and holds a character beyond ASCII, which
// code-page text rarely is.
bool looksLikeUtf8(std::string_view text);

}  // namespace zrk
