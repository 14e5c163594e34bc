#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zrk {

using ByteView = std::span<const std::uint8_t>;
using MutableByteView = std::span<std::uint8_t>;

// Width of every 32-bit field of the archive.
inline constexpr std::size_t kFieldWidth = 4;

// Decodes the first four bytes as a little-endian value of 0 to 2,147,483,647.
// A last byte of 0x80 or more raises OverflowError; `field` names the field in
// the message.
std::int32_t decodeLe32(ByteView bytes, std::string_view field = "32-bit field");

// Writes `value` as four little-endian bytes. A negative value raises
// OverflowError and leaves `out` untouched.
void encodeLe32(std::int32_t value, MutableByteView out, std::string_view field = "32-bit field");

// Turns a stored name field into text: bytes below 0x20 become a backslash and
// the byte's decimal value ("\0", "\10"), every other byte stands for itself.
// Text is kept as the archive's single-byte characters.
std::string decodeName(ByteView field);

// Removes every trailing "\0" (backslash, digit zero), the padding of a name.
std::string trimNulEscapes(std::string text);

// Fills all of `out` with the text's bytes, zero-filled; longer text is cut.
// Backslash escapes are not interpreted.
void encodeText(std::string_view text, MutableByteView out);

}  // namespace zrk
