#include <gtest/gtest.h>

#include <algorithm>

#include "errors.h"
#include "manifest.h"

namespace zrk {
namespace {

// Reads `text` through a reader that hands out at most `chunk` bytes a call,
// so that lines cross the reader's buffer boundaries.
std::vector<ManifestLine> readAll(std::string_view text, std::size_t chunk = 3) {
    std::size_t at = 0;
    ManifestReader reader([&](char* out, std::size_t size) {
        std::size_t n = std::min({size, chunk, text.size() - at});
        std::copy_n(text.data() + at, n, out);
        at += n;
        return n;
    });
    std::vector<ManifestLine> lines;
    while (auto line = reader.next()) {
        lines.push_back(*line);
    }
    return lines;
}

TEST(ManifestLineWriting, WritesNameCommaDecimalAndCrLf) {
    EXPECT_EQ(formatManifestLine({"A.PCM", kKindPcm, 520, 520, 49}), "A.PCM,520\r\n");
    EXPECT_EQ(formatManifestLine({"MAP01.BIN", kKindOther, 5, 96, 49}), "MAP01.BIN,96\r\n");
    EXPECT_EQ(formatManifestLine({"Z", kKindOther, 5, 0, 49}), "Z,0\r\n");
    EXPECT_EQ(formatManifestLine({"SUB\\A\\0B", kKindOther, 5, 2147483647, 49}),
              "SUB\\A\\0B,2147483647\r\n");
}

// A line without a comma is checked, with its line number, by the bad-input
// table.
TEST(ManifestLineSplitting, TrimsSpacesOnlyAndSplitsAtTheFirstComma) {
    struct Case {
        std::string line, name, value;
    };
    const Case cases[] = {
        {"  A.PCM  ,  ignored", "A.PCM", "ignored"},
        {"B.BIN, 77", "B.BIN", "77"},
        {"A,B.BIN,5", "A", "B.BIN,5"},
        {"\tT.BIN\t,1", "\tT.BIN\t", "1"},
        {"A.PCM,", "A.PCM", ""},
        {"SUB\\X.BIN,3", "SUB\\X.BIN", "3"},
        {" , ", "", ""},
    };
    for (const auto& c : cases) {
        ManifestLine line = splitManifestLine(c.line, 1);
        EXPECT_EQ(line.name, c.name) << c.line;
        EXPECT_EQ(line.value, c.value) << c.line;
    }
}

TEST(ManifestNumber, AcceptsDecimalWithOptionalMinus) {
    for (auto [text, value] : {std::pair<const char*, std::int32_t>{"0", 0},
                               {"77", 77},
                               {"007", 7},
                               {"2147483647", 2147483647},
                               {"-5", -5},
                               {"-2147483648", -2147483647 - 1}}) {
        EXPECT_EQ(parseManifestNumber({"B.BIN", text, 1}), value) << text;
    }
}

TEST(ManifestNumber, RefusesEverythingElse) {
    for (const char* text : {"", "-", "+5", "5x", "x", "1 2", "0x10", "\t5", "2147483648",
                             "-2147483649", "99999999999999999999"}) {
        EXPECT_THROW(parseManifestNumber({"B.BIN", text, 4}), ToolError) << text;
    }
}

TEST(ManifestReader, KeepsTheOrderSkipsEmptyLinesButNotSpaceOnlyLines) {
    auto lines = readAll("\r\nC.BIN,1\r\n\r\n\nA.PCM,2\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "C.BIN");
    EXPECT_EQ(lines[0].lineNumber, 2);
    EXPECT_EQ(lines[1].name, "A.PCM");
    EXPECT_EQ(lines[1].lineNumber, 5);
    EXPECT_THROW(readAll("A.PCM,1\r\n   \r\n"), ToolError);
}

TEST(ManifestReader, AcceptsLfEndsAndAMissingFinalLineEnd) {
    for (std::size_t chunk : {1u, 2u, 5u, 4096u}) {
        auto lines = readAll("A.PCM,1\nB.BIN,2\r\nC.BIN,3", chunk);
        ASSERT_EQ(lines.size(), 3u) << chunk;
        EXPECT_EQ(lines[1].value, "2");
        EXPECT_EQ(lines[2].name, "C.BIN");
        EXPECT_EQ(lines[2].value, "3");
    }
    EXPECT_EQ(readAll("C.BIN,3\r").at(0).value, "3");
    EXPECT_TRUE(readAll("").empty());
    EXPECT_TRUE(readAll("\r\n\r\n").empty());
}

TEST(ManifestReader, TheLengthLimitHoldsWhereverTheLineEndArrives) {
    std::string longest(kMaxManifestLineLength - 2, 'x');
    for (std::size_t chunk : {std::size_t{4096}, kMaxManifestLineLength + 100}) {
        EXPECT_EQ(readAll("A.PCM,1\r\n" + longest + ",1\r\n", chunk).size(), 2u) << chunk;
        EXPECT_EQ(readAll("A.PCM,1\r\n" + longest + ",1", chunk).size(), 2u) << chunk;
        for (std::string end : {"\r\n", "\n", ""}) {
            EXPECT_THROW(readAll(longest + ",12" + end, chunk), ToolError) << chunk << end.size();
        }
    }
}

}  // namespace
}  // namespace zrk
