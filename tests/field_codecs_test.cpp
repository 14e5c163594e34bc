#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "archive_format.h"
#include "errors.h"
#include "field_codecs.h"
#include "test_support.h"

namespace zrk {
namespace {

using test::Bytes;
using test::bytesOf;
using Field = std::array<std::uint8_t, 4>;

Bytes encoded(std::int32_t value) {
    Field out{};
    encodeLe32(value, out);
    return Bytes(out.begin(), out.end());
}

TEST(Le32, DecodesAndEncodesLittleEndian) {
    const struct {
        Bytes bytes;
        std::int32_t value;
    } cases[] = {
        {{0x00, 0x00, 0x00, 0x00}, 0},    {{0x10, 0x00, 0x00, 0x00}, 16},
        {{0xFF, 0x00, 0x00, 0x00}, 255},  {{0x00, 0x01, 0x00, 0x00}, 256},
        {{0xE8, 0x03, 0x00, 0x00}, 1000}, {{0xFF, 0xFF, 0xFF, 0x7F}, 2147483647},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeLe32(c.bytes), c.value) << c.value;
        EXPECT_EQ(encoded(c.value), c.bytes) << c.value;
    }
    EXPECT_EQ(decodeLe32(Bytes{0x01, 0x02, 0x03, 0x04, 0xFF}),
              0x04030201);  // the fifth is not read
    EXPECT_THROW(decodeLe32(Bytes{0x01, 0x02, 0x03}), ToolError);
}

TEST(Le32, RoundTripsAtEveryByteBoundary) {
    const std::int32_t values[] = {0,          1,          127,        128,       255,
                                   256,        65535,      65536,      16777215,  16777216,
                                   0x7FFF,     0x8000,     0x7FFFFF,   0x800000,  0x7FFFFFFE,
                                   0x7FFFFFFF, 0x12345678, 0x01000000, 0x00FF00FF};
    for (std::int32_t value : values) {
        EXPECT_EQ(decodeLe32(encoded(value)), value);
    }
}

TEST(Le32, RefusesWhatTheFieldCannotHoldNamingTheFieldAndBytes) {
    for (std::uint8_t last : {0x80, 0x81, 0xFF}) {
        EXPECT_THROW(decodeLe32(Bytes{0x00, 0x00, 0x00, last}), OverflowError) << int(last);
    }
    try {
        decodeLe32(Bytes{0x00, 0x00, 0x00, 0x80}, "dataLength of directory record 3");
        ADD_FAILURE() << "no error";
    } catch (const OverflowError& error) {
        EXPECT_NE(std::string(error.what()).find("dataLength of directory record 3"),
                  std::string::npos);
        EXPECT_NE(std::string(error.what()).find("00 00 00 80"), std::string::npos);
    }
    for (std::int32_t value : {-1, -256, std::numeric_limits<std::int32_t>::min()}) {
        Field out{0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_THROW(encodeLe32(value, out), OverflowError) << value;
        EXPECT_EQ(out, (Field{0xAA, 0xAA, 0xAA, 0xAA}));  // left alone
    }
    EXPECT_THROW(encodeArchiveHeader(0), OverflowError);  // a count of -1
}

Bytes nameField(std::string_view stored) {
    Bytes field = bytesOf(stored);
    field.resize(kNameWidth, 0);
    return field;
}

TEST(DecodeName, EscapesControlBytesAndTrimsPadding) {
    const struct {
        const char* what;
        Bytes field;
        std::string text;
    } cases[] = {
        {"plain name", nameField("A.PCM"), "A.PCM"},
        {"all zero", nameField(""), ""},
        {"zero inside", nameField(std::string("AB\0C", 4)), "AB\\0C"},
        {"line feed", nameField("A\nB"), "A\\10B"},
        {"byte 9 and 31", nameField("\t\x1f"), "\\9\\31"},
        {"high bytes stay", nameField("\xe9t\xe9.BIN"), "\xe9t\xe9.BIN"},
        {"19 characters", bytesOf("ABCDEFGHIJKLMNO.PCM"), "ABCDEFGHIJKLMNO.PCM"},
        {"stored backslash-zero is trimmed too", nameField("A\\0"), "A"},
        {"backslash-zero before a character stays", nameField("A\\0B"), "A\\0B"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trimNulEscapes(decodeName(c.field)), c.text) << c.what;
    }
    // Decoding alone does not stop at a zero byte.
    EXPECT_EQ(decodeName(nameField("A")),
              "A\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0");
}

TEST(EncodeText, ZeroFillsAndCutsToTheWidth) {
    const struct {
        std::string text;
        std::size_t width;
        Bytes bytes;
    } cases[] = {
        {"AB", 4, {'A', 'B', 0, 0}},
        {"ABCDEF", 4, {'A', 'B', 'C', 'D'}},
        {"A\\0", 4, {0x41, 0x5C, 0x30, 0}},
        {"", 2, {0, 0}},
        {"\xe9", 1, {0xE9}},
    };
    for (const auto& c : cases) {
        Bytes out(c.width, 0xAA);
        encodeText(c.text, out);
        EXPECT_EQ(out, c.bytes) << c.text;
    }
}

TEST(DirectoryRecord, RoundTripsCutsLongNamesAndRefusesNegativeFields) {
    ArchiveEntry entry{"MAP01.BIN", kKindOther, 100, 96, 81};
    DirectoryRecord record = encodeDirectoryRecord(entry);
    EXPECT_EQ(record[kKindOffset], kKindOther);
    EXPECT_EQ(decodeDirectoryRecord(record, 1), entry);

    record = encodeDirectoryRecord({"A_VERY_LONG_NAME_OF_A.PCM", kKindPcm, 1, 1, 49});
    EXPECT_EQ(decodeDirectoryRecord(record, 1).name, "A_VERY_LONG_NAME_OF");

    try {
        encodeDirectoryRecord({"B.BIN", kKindOther, 1, -5, 49});
        ADD_FAILURE() << "no error";
    } catch (const OverflowError& error) {
        EXPECT_NE(std::string(error.what()).find("declaredLength of entry \"B.BIN\""),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace zrk
