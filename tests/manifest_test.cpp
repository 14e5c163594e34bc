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
    EXPECT_EQ(formatManifestLine({"A.PCM", KindPcm, 520, 520, 49}), "A.PCM,520\r\n");
    EXPECT_EQ(formatManifestLine({"MAP01.BIN", KindOther, 5, 96, 49}), "MAP01.BIN,96\r\n");
    EXPECT_EQ(formatManifestLine({"Z", KindOther, 5, 0, 49}), "Z,0\r\n");
    EXPECT_EQ(formatManifestLine({"SUB\\A\\0B", KindOther, 5, 2147483647, 49}),
              "SUB\\A\\0B,2147483647\r\n");
}

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

TEST(ManifestLineSplitting, ALineWithoutACommaIsAnErrorNamingTheLine) {
    try {
        splitManifestLine("A.PCM", 7);
        FAIL() << "no error";
    } catch (const ToolError& error) {
        EXPECT_NE(std::string(error.what()).find("line 7"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("A.PCM"), std::string::npos) << error.what();
    }
}

TEST(ManifestNumber, AcceptsDecimalWithOptionalMinus) {
    struct Case {
        std::string text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", 0},   {"77", 77},
        {"007", 7}, {"2147483647", 2147483647},
        {"-5", -5}, {"-2147483648", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseManifestNumber({"B.BIN", c.text, 1}), c.value) << c.text;
    }
}

TEST(ManifestNumber, RefusesEverythingElse) {
    for (const char* text : {"", "-", "+5", "5x", "x", "1 2", "0x10", "\t5", "2147483648",
                             "-2147483649", "99999999999999999999"}) {
        EXPECT_THROW(parseManifestNumber({"B.BIN", text, 4}), ToolError) << text;
    }
}

TEST(ManifestReader, SkipsEmptyLinesButKeepsSpaceOnlyLines) {
    auto lines = readAll("\r\nA.PCM,1\r\n\r\n\nB.BIN,2\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "A.PCM");
    EXPECT_EQ(lines[0].lineNumber, 2);
    EXPECT_EQ(lines[1].name, "B.BIN");
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

TEST(ManifestReader, KeepsTheOrderOfTheLines) {
    auto lines = readAll("C.BIN,3\r\nA.PCM,1\r\nB.BIN,2\r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].name, "C.BIN");
    EXPECT_EQ(lines[1].name, "A.PCM");
    EXPECT_EQ(lines[2].name, "B.BIN");
}

TEST(ManifestReader, RefusesAnOverlongLineWithoutHoldingIt) {
    std::string text = "A.PCM,1\r\n" + std::string(kMaxManifestLineLength + 10, 'x');
    try {
        readAll(text, 4096);
        FAIL() << "no error";
    } catch (const ToolError& error) {
        EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
    }
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
