#pragma once

#include <string>
#include <string_view>

namespace zrk {

// Names and the manifest hold text in the system's single-byte ANSI code page.
// This turns such text into the platform's own form, for file paths and for
// anything shown to a person: UTF-8 on Linux (read as Windows-1252), unchanged
// on Windows, whose ANSI calls take it as it stands.
std::string ansiToNative(std::string_view ansi);

// Windows-1252 to UTF-8. The five bytes the code page leaves unassigned map to
// the control characters of the same value (0x81 becomes U+0081), so every
// byte has a character and distinct names stay distinct.
std::string windows1252ToUtf8(std::string_view text);

}  // namespace zrk
