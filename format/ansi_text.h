#pragma once

#include <string>
#include <string_view>

namespace zrk {

// Names and the manifest hold text in the system's single-byte ANSI code page.
// This turns such text into the form the target system shows and opens: UTF-8
// on Linux (the text read as Windows-1252), unchanged on Windows, whose ANSI
// calls take it as it stands. The build picks the form for its target.
std::string ansiToNative(std::string_view ansi);

// Windows-1252 to UTF-8. The five bytes the code page leaves unassigned map to
// the control characters of the same value (0x81 becomes U+0081), so every
// byte has a character and distinct names stay distinct.
std::string windows1252ToUtf8(std::string_view text);

// The text with every byte below 0x20 written as a backslash and its decimal
// value, as names from an archive show them.
std::string escapeControls(std::string_view text);

// ANSI text as an error message shows it, in the target's form: in double
// quotes, cut after 60 characters, and with bytes below 0x20 written as a
// backslash and their decimal value, as names from an archive are. A zero
// byte would end a message early and others act on a terminal.
std::string quote(std::string_view ansi);

}  // namespace zrk
