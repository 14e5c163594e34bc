// The archive format, the manifest and the name rules, through the format
// library alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "ansi_text.h"
#include "archive_format.h"
#include "entry_names.h"
#include "errors.h"
#include "manifest.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The text of the error that `action` raises, or "" without one.
template <typename Action>
std::string errorOf(Action action) {
    try {
        action();
    } catch (const ToolError& error) {
        return error.what();
    }
    return "";
}

TEST(Codecs, ValuesAndRefusals) {
    struct Row {
        Bytes bytes;
        std::int32_t value;
        std::string error;
    };
    for (const Row& row : std::vector<Row>{
             {{0x10, 0, 0, 0}, 16, ""},
             {{0xE8, 0x03, 0, 0, 0xFF}, 1000, ""},  // only the first four count
             {{0xFF, 0xFF, 0xFF, 0x7F}, 2147483647, ""},
             {{0, 0, 0, 0x80}, -1, "F: the bytes 00 00 00 80 give a value above 2,147,483,647"},
             {{1, 2, 3}, -1, "F: needs 4 bytes, got 3"},
         }) {
        std::int32_t value = -1;
        EXPECT_EQ(errorOf([&] { value = decodeLe32(row.bytes, "F"); }), row.error);
        EXPECT_EQ(value, row.value);
        if (row.error.empty()) {
            Bytes encoded(4, 0xAA);
            encodeLe32(row.value, encoded);
            EXPECT_TRUE(std::equal(encoded.begin(), encoded.end(), row.bytes.begin()));
        }
    }
    for (std::int32_t negative : {-1, -256, -2147483647 - 1}) {
        Bytes untouched(4, 0xAA);
        EXPECT_EQ(errorOf([&] { encodeLe32(negative, untouched, "F"); }),
                  "F: " + std::to_string(negative) + " is negative and cannot be stored");
        EXPECT_EQ(untouched, Bytes(4, 0xAA));
    }
}

TEST(Codecs, NamesDecodeEscapedAndEncodeCutAndZeroFilled) {
    struct Row {
        std::string field;  // zero-filled to 19 bytes
        std::string text;
    };
    for (const Row& row : std::vector<Row>{
             {"A.PCM", "A.PCM"},
             {std::string("AB\0C", 4), "AB\\0C"},
             {"\n\x1F\x7F\x81\xFF", "\\10\\31\x7F\x81\xFF"},
             {"A\\0", "A"},  // a stored backslash and 0 pass for padding
             {"", ""},
             {"NINETEEN_CHARACTERS", "NINETEEN_CHARACTERS"},
         }) {
        Bytes field(kNameWidth, 0);
        std::copy(row.field.begin(), row.field.end(), field.begin());
        EXPECT_EQ(trimNulEscapes(decodeName(field)), row.text) << row.text;
    }
    Bytes out(5, 0xAA);
    encodeText("A\\0", out);
    EXPECT_EQ(out, (Bytes{'A', '\\', '0', 0, 0}));
    encodeText("TOOLONG", out);
    EXPECT_EQ(out, (Bytes{'T', 'O', 'O', 'L', 'O'}));
}

TEST(Layout, KindsRecordCountAndPlan) {
    for (auto [name, kind] :
         std::vector<std::pair<std::string, std::uint8_t>>{{"A.PCM", kKindPcm},
                                                           {"a.pcm", kKindPcm},
                                                           {"TONEpCm", kKindPcm},
                                                           {"pcm", kKindPcm},
                                                           {"A.PCMX", kKindOther},
                                                           {"CM", kKindOther},
                                                           {"A.P\xC7M", kKindOther}}) {
        EXPECT_EQ(kindForName(name), kind) << name;
    }
    for (auto [offset, count] : std::vector<std::pair<std::int32_t, std::int64_t>>{
             {0, 1}, {49, 1}, {50, 2}, {81, 2}, {82, 3}, {2147483647, 67108864}}) {
        EXPECT_EQ(directoryRecordCount(offset), count) << offset;
    }
    std::vector<ArchiveEntry> entries = {{"A", kKindOther, 100, 0, 0}, {"B", kKindOther, 50, 0, 0}};
    planLayout(entries);
    EXPECT_EQ(entries[0].dataOffset, 81);
    EXPECT_EQ(entries[1].dataOffset, 181);
    EXPECT_EQ(archiveEnd(2, 150), 231);  // a 230-byte archive
    EXPECT_EQ(errorOf([] { encodeArchiveHeader(0); }).find("negative"), 29u);
    EXPECT_EQ(errorOf([] { decodeDirectoryRecord(Bytes(31), 7); }),
              "directory record 7 is cut short: 31 of 32 bytes");
}

TEST(Names, EachSystemsRules) {
    struct Row {
        std::vector<std::string> names;
        bool posix;
        bool windows;
    };
    for (const Row& row : std::vector<Row>{
             {{"A.PCM", "SUB\\A.PCM", "SUB/DEEP\\A.BIN", "AB\\0C", "SUB\\\\A.BIN", ".\\A.BIN",
               "A..", "..A", "CONSOLE", "COM10", "XCON.BIN", "LPT", "COMA"},
              true,
              true},
             {{"", ".", "SUB\\", "SUB\\.", "\\ROOT.BIN", "/ROOT.BIN", "..", "..\\UP.BIN",
               "SUB\\..\\A.BIN", std::string("A\0B", 3)},
              false,
              false},
             {{"A?.BIN", "A<B>\"|.BIN", "C:\\A.BIN", "A.BIN:S", ".. \\UP.BIN", "...\\UP.BIN",
               "SUB\\ \\A.BIN", "con.txt", "Prn.", "AUX  ", "SUB\\NUL\\A.BIN", "com9.pcm", "LPT0",
               "LPT\xB9", "COM\xB3.BIN", "conout$.x"},
              true,
              false},
         }) {
        for (const std::string& name : row.names) {
            EXPECT_EQ(nameStaysInsideOutput(name, NameRules::Posix), row.posix) << name;
            EXPECT_EQ(nameStaysInsideOutput(name, NameRules::Windows), row.windows) << name;
        }
    }
    for (auto [name, posix, windows] :
         std::vector<std::tuple<std::string, bool, bool>>{{"manifest.txt", true, true},
                                                          {".\\manifest.txt", true, true},
                                                          {"MANIFEST.TXT", false, true},
                                                          {"Manifest.Txt. .", false, true},
                                                          {"SUB\\manifest.txt", false, false},
                                                          {"manifest.txt2", false, false}}) {
        EXPECT_EQ(nameIsTheManifest(name, NameRules::Posix), posix) << name;
        EXPECT_EQ(nameIsTheManifest(name, NameRules::Windows), windows) << name;
    }
}

// All lines of `text`, read through a reader handed at most `chunk` bytes a
// call, or the error that ends the reading.
std::string readLines(const std::string& text, std::size_t chunk) {
    std::size_t at = 0;
    ManifestReader reader([&](char* buffer, std::size_t size) {
        std::size_t got = std::min({size, chunk, text.size() - at});
        std::copy_n(text.data() + at, got, buffer);
        at += got;
        return got;
    });
    std::string lines;
    std::string error = errorOf([&] {
        while (std::optional<ManifestLine> line = reader.next()) {
            lines += std::to_string(line->lineNumber) + "[" + line->name + "|" + line->value + "]";
        }
    });
    return error.empty() ? lines : error;
}

TEST(Manifest, LinesAreTheSameHoweverReadsAreCut) {
    std::string longest(kMaxManifestLineLength - 2, 'x');
    for (auto [text, lines] : std::vector<std::pair<std::string, std::string>>{
             {"  A.PCM  ,  ignored\r\n\r\nB.BIN, 77\n  ,\r\nC,D,E\r",
              "1[A.PCM|ignored]3[B.BIN|77]4[|]5[C|D,E]"},
             {"\tA ,1", "1[\tA|1]"},
             {"\r\n\n\r\n", ""},
             {"A,1\r\nB.BIN\r\n",
              "manifest.txt line 2: no comma between name and length in \"B.BIN\""},
             {"A,1\r\n\x1B[2J\0\r\n",
              "manifest.txt line 2: no comma between name and length in \"\\27[2J\""},
             {longest + ",1", "1[" + longest + "|1]"},
             {"A,1\n" + longest + ",12\r\n", "manifest.txt line 2 is longer than 65536 bytes"},
             {longest + ",12", "manifest.txt line 1 is longer than 65536 bytes"},
         }) {
        for (std::size_t chunk : {1, 2, 3, 4, 5, 1 << 20}) {
            EXPECT_EQ(readLines(text, chunk), lines) << chunk;
        }
    }
}

TEST(Manifest, NumbersAreDecimalWithAnOptionalMinus) {
    for (auto [text, value] : std::vector<std::pair<std::string, std::int32_t>>{
             {"0", 0}, {"-1", -1}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}}) {
        EXPECT_EQ(parseManifestNumber({"A", text, 1}), value);
    }
    for (std::string text : {"", "+1", "1.0", "0x10", "\t1", "1 2", "-"}) {
        EXPECT_EQ(
            errorOf([&] {
                parseManifestNumber({"A", text, 3});
            }),
            "manifest.txt line 3: the length " + quote(text) + " of \"A\" is not a whole number");
    }
    EXPECT_EQ(errorOf([] {
                  parseManifestNumber({"A", "2147483648", 1});
              }),
              "manifest.txt line 1: the length \"2147483648\" of \"A\" is outside -2147483648 to "
              "2147483647");
    EXPECT_EQ(formatManifestLine({"A.PCM", kKindPcm, 9, 520, 0}), "A.PCM,520\r\n");
}

TEST(Text, MessagesQuoteEscapedAndCut) {
    EXPECT_EQ(windows1252ToUtf8("\xE9\x80\x81\x9F\xFF"),
              "\xC3\xA9\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF");
    EXPECT_EQ(quote(std::string_view("A\x1B[31m\0", 7)), "\"A\\27[31m\\0\"");  // 7 bytes, no more
    EXPECT_EQ(quote(std::string(61, 'x')), "\"" + std::string(60, 'x') + "...\"");
}

}  // namespace
}  // namespace zrk
