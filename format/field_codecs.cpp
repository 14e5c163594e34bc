#include "field_codecs.h"

#include <algorithm>
#include <cstdio>

#include "ansi_text.h"
#include "errors.h"

namespace zrk {

namespace {

std::string hexBytes(ByteView bytes) {
    std::string text;
    char buffer[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", byte);
        if (!text.empty()) {
            text += ' ';
        }
        text += buffer;
    }
    return text;
}

}  // namespace

std::int32_t decodeLe32(ByteView bytes, std::string_view field) {
    if (bytes.size() < kFieldWidth) {
        throw ToolError(std::string(field) + ": needs 4 bytes, got " +
                        std::to_string(bytes.size()));
    }
    if (bytes[3] >= 0x80) {
        throw OverflowError(std::string(field) + ": the bytes " + hexBytes(bytes.first(4)) +
                            " give a value above 2,147,483,647");
    }
    std::uint32_t value = 0;
    for (std::size_t i = kFieldWidth; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return static_cast<std::int32_t>(value);
}

void encodeLe32(std::int32_t value, MutableByteView out, std::string_view field) {
    if (value < 0) {
        throw OverflowError(std::string(field) + ": " + std::to_string(value) +
                            " is negative and cannot be stored");
    }
    if (out.size() < kFieldWidth) {
        throw ToolError(std::string(field) + ": needs 4 bytes of room, got " +
                        std::to_string(out.size()));
    }
    auto rest = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < kFieldWidth; ++i) {
        out[i] = static_cast<std::uint8_t>(rest & 0xFF);
        rest >>= 8;
    }
}

std::string decodeName(ByteView field) {
    return escapeControls(
        std::string_view(reinterpret_cast<const char*>(field.data()), field.size()));
}

std::string trimNulEscapes(std::string text) {
    while (text.size() >= 2 && text.ends_with("\\0")) {
        text.resize(text.size() - 2);
    }
    return text;
}

void encodeText(std::string_view text, MutableByteView out) {
    std::size_t count = std::min(text.size(), out.size());
    std::copy_n(reinterpret_cast<const std::uint8_t*>(text.data()), count, out.begin());
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(count), out.end(), std::uint8_t{0});
}

}  // namespace zrk
