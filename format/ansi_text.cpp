#include <array>
#include <cstdint>

#include "ansi_text.h"

namespace zrk {

namespace {

// Code points of bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::size_t kQuotedLength = 60;

constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string windows1252ToUtf8(std::string_view text) {
    // ASCII, as most names are, stands for itself.
    std::size_t ascii = 0;
    while (ascii < text.size() && static_cast<std::uint8_t>(text[ascii]) < 0x80) {
        ++ascii;
    }
    std::string out(text.substr(0, ascii));
    for (char c : text.substr(ascii)) {
        auto byte = static_cast<std::uint8_t>(c);
        char32_t code = (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : byte;
        appendUtf8(out, code);
    }
    return out;
}

std::string escapeControls(std::string_view text, Controls which) {
    bool terminal = which == Controls::Terminal;
    // Most text holds no control character: up to the first byte that may be
    // one, it stands as it is.
    std::size_t plain = 0;
    while (plain < text.size() && static_cast<std::uint8_t>(text[plain]) >= 0x20 &&
           (!terminal || static_cast<std::uint8_t>(text[plain]) < 0x7F)) {
        ++plain;
    }
    std::string shown(text.substr(0, plain));
    for (std::size_t i = plain; i < text.size(); ++i) {
        auto byte = static_cast<std::uint8_t>(text[i]);
        auto next = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : 0;
        if (byte < 0x20 || (terminal && byte == 0x7F)) {
            shown += '\\' + std::to_string(byte);
        } else if (terminal && byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            shown += '\\' + std::to_string(next);
            ++i;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

std::string quote(std::string_view ansi) {
    std::string shown = escapeControls(shownText(ansi.substr(0, kQuotedLength)));
    return "\"" + shown + (ansi.size() > kQuotedLength ? "...\"" : "\"");
}

}  // namespace zrk
