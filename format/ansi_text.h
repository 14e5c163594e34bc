#pragma once

#include <string>
#include <string_view>

namespace zrk {

// Names and the manifest hold text in the system's single-byte ANSI code page.

// ANSI text in the form the target shows it: UTF-8 on a Linux terminal (the
// text read as Windows-1252), unchanged in a Windows window, which takes ANSI
// text as it stands. The build picks the form for its target.
std::string shownText(std::string_view ansi);

// The code page names and the manifest are read in, as messages name it:
// Windows-1252 on Linux, the system's own on Windows. The build picks it with
// the form of shownText.
std::string_view ansiCodePageName();

// Windows-1252 to UTF-8. The five bytes the code page leaves unassigned map to
// the control characters of the same value (0x81 becomes U+0081), as Windows
// maps them, so every byte has a character and distinct names stay distinct.
std::string windows1252ToUtf8(std::string_view text);

// Which control characters escapeControls writes out.
enum class Controls {
    BelowSpace,  // the bytes below 0x20, as names from an archive show them
    // Also DEL and the C1 controls (U+0080 to U+009F, in UTF-8 C2 80 to C2 9F),
    // which act on a terminal too.
    Terminal,
};

// The one way control characters are shown: each one written as a backslash
// and its value in decimal ("\0", "\10", "\27", "\129").
std::string escapeControls(std::string_view text, Controls which = Controls::BelowSpace);

// ANSI text as an error message shows it, in the target's form: in double
// quotes, cut after 60 characters, and with bytes below 0x20 escaped, as names
// from an archive are. A zero byte would end a message early and others act on
// a terminal.
std::string quote(std::string_view ansi);

}  // namespace zrk
