#include "utf8_text.h"

#include <cstdint>

namespace zrk {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The bytes of the sequence that `lead` begins, 0 for a byte no sequence
// begins with (a continuation byte, an overlong lead, one past U+10FFFF).
std::size_t sequenceLength(std::uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2) {
        return 0;
    }
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
}

// A sequence's second byte lies in a narrower range after these leads, which
// shuts out overlong forms, surrogates and code points past U+10FFFF.
bool secondByteFits(std::uint8_t lead, std::uint8_t byte) {
    std::uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    std::uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    return byte >= low && byte <= high;
}

}  // namespace

bool startsWithUtf8ByteOrderMark(std::string_view text) {
    return text.starts_with(kByteOrderMark);
}

bool looksLikeUtf8(std::string_view text) {
    bool beyondAscii = false;
    for (std::size_t at = 0; at < text.size();) {
        auto lead = static_cast<std::uint8_t>(text[at]);
        std::size_t length = sequenceLength(lead);
        if (length == 0 || length > text.size() - at) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            auto byte = static_cast<std::uint8_t>(text[at + k]);
            if (k == 1 ? !secondByteFits(lead, byte) : (byte < 0x80 || byte > 0xBF)) {
                return false;
            }
        }
        beyondAscii = beyondAscii || length > 1;
        at += length;
    }
    return beyondAscii;
}

}  // namespace zrk
