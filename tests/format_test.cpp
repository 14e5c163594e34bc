// The archive format, the manifest and the name rules, through the format
// library alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "ansi_text.h"
#include "archive_format.h"
#include "entry_names.h"
#include "errors.h"
#include "manifest.h"
#include "utf8_text.h"
#include "windows_names.h"

namespace zrk {
namespace {

using namespace std::string_literals;

using Bytes = std::vector<std::uint8_t>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// What `action` gives, or the text of the error it raises.
template <typename Action>
std::string outcome(Action action) {
    try {
        return action();
    } catch (const ToolError& error) {
        return error.what();
    }
}

TEST(Format, FieldsAndKinds) {
    auto decoded = [](std::string field) {
        return outcome(
            [&] { return std::to_string(decodeLe32(Bytes(field.begin(), field.end()), "F")); });
    };
    auto encoded = [](std::int32_t value) {
        Bytes out(4, '.');
        return outcome(
            [&] { return encodeLe32(value, out, "F"), std::string(out.begin(), out.end()); });
    };
    // clang-format off
    for (auto [value, field] : Pairs{{"16", std::string("\x10\0\0\0", 4)}, {"1000", std::string("\xE8\x03\0\0", 4)},
                                     {"2147483647", "\xFF\xFF\xFF\x7F"}}) {
        EXPECT_EQ(decoded(field + "\xFF"), value);  // the fifth byte does not count
        EXPECT_EQ(encoded(std::stoi(value)), field);
    }
    EXPECT_EQ(decoded(std::string("\0\0\0\x80", 4)), "F: the bytes 00 00 00 80 give a value above 2,147,483,647");
    for (auto [field, name] : Pairs{{std::string("AB\0C", 4), "AB\\0C"}, {"A\\0", "A"}, {"", ""},
                                    {"\n\x1F\x7F\x81", "\\10\\31\x7F\x81"}, {"NINETEEN_CHARACTERS", "NINETEEN_CHARACTERS"}}) {
        field.resize(kNameWidth);
        EXPECT_EQ(trimNulEscapes(decodeName(Bytes(field.begin(), field.end()))), name);
    }
    std::vector<std::string> kinds = {"A.PCM", "a.pcm", "TONEpCm", "pcm", "A.PCMX", "CM", "A.P\xC7M", ""};
    for (std::size_t i = 0; i < kinds.size(); ++i) {  // the first four are PCM
        EXPECT_EQ(kindForName(kinds[i]), i < 4 ? kKindPcm : kKindOther) << kinds[i];
    }
    // clang-format on
}

// The parts of the path below Output a name (in UTF-8) stands for under each
// system's rules, '|' between them, "-" where the name is refused, and "M"
// after the manifest's own name.
TEST(Format, NamesFollowEachSystemsRules) {
    auto parts = [](const std::string& name, NameRules rules) {
        std::optional<std::vector<std::string>> found = partsInsideOutput(name, rules);
        std::string all = found ? "" : "-";
        for (const std::string& part : found.value_or(std::vector<std::string>{})) {
            all += (all.empty() ? "" : "|") + part;
        }
        return found && partsNameTheManifest(*found, rules) ? all + "M" : all;
    };
    // clang-format off
    std::vector<std::tuple<std::string, std::string, std::string>> rows = {
        {"S/D\\A.PCM", "S|D|A.PCM", "S|D|A.PCM"}, {"AB\\0C", "AB|0C", "AB|0C"}, {".\\S\\\\A", "S|A", "S|A"},
        {"A.. ", "A.. ", "A"}, {"a \\B", "a |B", "a|B"}, {"..A", "..A", "..A"}, {".\\manifest.txt", "manifest.txtM", "manifest.txtM"},
        {"Manifest.Txt. .", "Manifest.Txt. .", "Manifest.TxtM"}, {"S\\manifest.txt", "S|manifest.txt", "S|manifest.txt"}};
    for (std::string name : {"A B", "CONSOLE", "COM10", "XCON.BIN", "LPT", "COMA", "COM\xC2\xB9X", "manifest.txt2"}) {
        rows.emplace_back(name, name, name);
    }
    for (std::string name : {""s, "."s, "S\\"s, "S\\."s, "\\R"s, "/R"s, ".."s, "..\\UP"s, "S\\..\\A"s, "A\0B"s,
                             "S\\.zrk-unfinished-0f"s}) {
        rows.emplace_back(name, "-", "-");
    }
    for (std::string name : {"A?", "A<B>\"|", "C:\\A", "A:S", ".. \\UP", "...\\UP", "S\\ \\A", "con.txt", "Prn.", "AUX  ",
                             "S\\NUL\\A", "com9.pcm", "LPT0", "LPT\xC2\xB9", "COM\xC2\xB3.B", "conout$.x", "A\x1B"}) {
        rows.emplace_back(name, "+", "-");  // taken in some parts on Linux
    }
    // clang-format on
    for (const auto& [name, posix, windows] : rows) {
        std::string onPosix = parts(name, NameRules::Posix);
        EXPECT_EQ(posix == "+" && onPosix != "-" ? "+" : onPosix, posix) << name;
        EXPECT_EQ(parts(name, NameRules::Windows), windows) << name;
    }
}

// Two of Windows' own rules, checked on every system: which reparse points send
// a name elsewhere (a symbolic link, a junction; not a file compressed by the
// system, deduplicated or in the cloud), and which code pages take a stand-in
// character for what they lack (not UTF-8, UTF-7, ISO 2022, ISCII, Symbol).
TEST(Format, WindowsRules) {
    for (auto [tag, elsewhere] : {std::pair{0xA000000Cu, true},
                                  {0xA0000003u, true},
                                  {0x80000017u, false},
                                  {0x80000013u, false},
                                  {0x9000601Au, false}}) {
        EXPECT_EQ(reparseTagSendsNameElsewhere(tag), elsewhere) << std::hex << tag;
    }
    for (auto [page, standIns] : {std::pair{1252u, true},
                                  {949u, true},
                                  {65001u, false},
                                  {65000u, false},
                                  {50220u, false},
                                  {57011u, false},
                                  {42u, false}}) {
        EXPECT_EQ(codePageTakesStandIns(page), standIns) << page;
    }
}

// All lines of `text`, read through a reader handed at most `chunk` bytes a
// call, or the error that ends the reading.
std::string lines(const std::string& text, std::size_t chunk) {
    std::size_t at = 0;
    ManifestReader reader([&](char* buffer, std::size_t size) {
        std::size_t got = std::min({size, chunk, text.size() - at});
        std::copy_n(text.data() + at, got, buffer);
        return at += got, got;
    });
    return outcome([&] {
        std::string all;
        while (std::optional<ManifestLine> line = reader.next()) {
            all +=
                std::to_string(line->lineNumber) + "[" + line->name + "|" + line->lengthText + "]";
        }
        return all;
    });
}

TEST(Format, ManifestLinesAreTheSameHoweverReadsAreCut) {
    std::string longest(kMaxManifestLineLength - 2, 'x');
    std::string tooLong = "manifest.txt line 2 is longer than 65536 bytes";
    // clang-format off
    for (auto [text, split] : Pairs{
             {"  A.PCM  ,  x\r\n\r\nB, 77\n  ,\r\n\tC,D,E\r", "1[A.PCM|x]3[B|77]4[|]5[\tC|D,E]"}, {"\r\n\n", ""},
             {std::string("A,1\n\x1B[2J\0\r\n", 10), "manifest.txt line 2: no comma between name and length in \"\\27[2J\\0\""},
             {longest + ",1\r", "1[" + longest + "|1]"}, {"A,1\n" + longest + ",12\r\n", tooLong},
             {"\n" + longest + ",12", tooLong}}) {
        // clang-format on
        for (std::size_t chunk : {1, 2, 3, 4, 5, 1 << 20}) {
            EXPECT_EQ(lines(text, chunk), split) << chunk;
        }
    }
    // A line without an end is refused once it passes the longest, not held
    // whole: the reader is asked for little more than that.
    std::size_t handed = 0;
    ManifestReader endless([&](char* buffer, std::size_t size) {
        size = handed < (64 << 20) ? size : 0;
        return std::fill_n(buffer, size, 'x'), handed += size, size;
    });
    EXPECT_EQ(outcome([&] { return endless.next()->name; }),
              "manifest.txt line 1 is longer than 65536 bytes");
    EXPECT_LT(handed, 1u << 20);
}

TEST(Format, NumbersAreDecimalMessagesQuoteEscapedAndUtf8IsToldApart) {
    auto number = [](std::string text) {
        return outcome([&] { return std::to_string(parseManifestNumber({"A", text, 3})); });
    };
    for (std::string text : {"0", "-1", "2147483647", "-2147483648"}) {
        EXPECT_EQ(number(text), text);
    }
    for (std::string text : {"", "+1", "1.0", "0x10", "\t1", "-"}) {
        EXPECT_EQ(number(text), "manifest.txt line 3: the length " + quote(text) +
                                    " of \"A\" is not a whole number");
    }
    EXPECT_EQ(number("2147483648"),
              "manifest.txt line 3: the length \"2147483648\" of \"A\" is "
              "outside -2147483648 to 2147483647");
    EXPECT_EQ(windows1252ToUtf8("\xE9\x80\x81\xFF"), "\xC3\xA9\xE2\x82\xAC\xC2\x81\xC3\xBF");
    EXPECT_EQ(quote(std::string_view("A\x1B[31m\0", 7)), "\"A\\27[31m\\0\"");
    EXPECT_EQ(quote(std::string(61, 'x')), std::string("\"") + std::string(60, 'x') + "...\"");
    EXPECT_EQ(quote(std::string(60, 'y')).find("..."), std::string::npos);
    // Only valid UTF-8 beyond ASCII: no code-page letter, overlong form,
    // surrogate, cut sequence or code point past U+10FFFF.
    EXPECT_TRUE(looksLikeUtf8("CAF\xC3\x89\xE0\xA0\x80") && looksLikeUtf8("\xF0\x9F\x98\xBF"));
    for (std::string text : {"CAF\xC9", "A", "\x80\xC3\x89", "\xC0\x80", "\xED\xA0\x80", "\xE2\x82",
                             "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(looksLikeUtf8(text)) << text;
    }
}

}  // namespace
}  // namespace zrk
