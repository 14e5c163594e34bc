// Repack in a fresh work folder: a manifest and files in; the exact log, the
// exact error and ZRK.NEW's exact bytes out, with nothing else changed.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive_format.h"
#include "errors.h"
#include "folder.h"
#include "manifest_loading.h"
#include "repack_job.h"
#include "support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::archiveOf;
using test::Bytes;
using test::Tree;

struct RepackRow {
    std::string label;
    Tree files;  // below the parent folder; ZRK.NEW is "old" unless given
    std::vector<std::string> log;
    std::string error;             // "<Output>" stands for the Output folder's path
    std::optional<Bytes> archive;  // ZRK.NEW afterwards
    std::function<void(const test::WorkFolder&, std::string_view)> during = nullptr;
    std::function<void(const test::WorkFolder&)> prepare = nullptr;  // for files too big to give
};

void PrintTo(const RepackRow& row, std::ostream* out) {
    *out << row.label;
}

const std::string kA = test::pattern(100, 1);
const std::string kB = test::pattern(50, 2);
const Tree kTwo = {{"work/Output/manifest.txt", "A.PCM,100\r\nB.BIN,96\r\n"},
                   {"work/Output/A.PCM", kA},
                   {"work/Output/B.BIN", kB},
                   {"work/ZRK.DAT", "left alone"},
                   {"work/ZRK.NEW", std::string(1000, '\xAA')}};
const Bytes kTwoArchive = archiveOf({{"A.PCM", kA}, {"B.BIN", kB, 96}});

// Written out by hand: the one check that does not share the format's code.
Bytes handMadeTwoEntries() {
    std::string bytes =
        std::string("ZRK.DAT 1.00\1\0\0\0", 16) +
        std::string("A.PCM\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0d\0\0\0d\0\0\0Q\0\0\0", 32) +
        std::string(
            "B.BIN\0\0\0\0\0\0\0\0\0\0\0\0\0\0\1"
            "2\0\0\0`\0\0\0\xB5\0\0\0",
            32) +
        kA + kB;
    return test::bytesOf(bytes);
}

void sparseFile(const test::WorkFolder& work, const std::string& name, std::uintmax_t length) {
    work.write("Output\\" + name, {});
    fs::resize_file(work.native("Output\\" + name), length);
}

RepackRow refused(std::string label, std::string manifest, std::string error, Tree files = {}) {
    files["work/Output/manifest.txt"] = manifest;
    files["work/Output/A.BIN"] = "a";
    files["work/Output/SUB/B.BIN"] = "b";
    return {label, files, {"Reading metadata from manifest..."}, error, std::nullopt};
}

const std::vector<RepackRow> kRows = {
    {"TwoEntriesByteForByte", kTwo, test::repackLog({"A.PCM", "B.BIN"}), "", handMadeTwoEntries()},
    {"NamesNumbersAndLinesAsTheManifestGivesThem",
     {{"work/Output/manifest.txt",
       "  SPACED.BIN  ,  5  \n\r\nAB\\0C,0\r\nTWENTY_SIX_CHARS_LONG.PCM,ignored\nlow.pcm,\r\nSUB\\N"
       "EW.BIN,-0"},
      {"work/Output/SPACED.BIN", "s"},
      {"work/Output/AB/0C", ""},
      {"work/Output/TWENTY_SIX_CHARS_LONG.PCM", "long"},
      {"work/Output/low.pcm", "pcm"},
      {"work/Output/SUB/NEW.BIN", "new"}},
     test::repackLog(
         {"SPACED.BIN", "AB\\0C", "TWENTY_SIX_CHARS_LONG.PCM", "low.pcm", "SUB\\NEW.BIN"}),
     "",
     archiveOf({{"SPACED.BIN", "s", 5},
                {"AB\\0C", "", 0},
                {"TWENTY_SIX_CHARS_LONG.PCM", "long"},
                {"low.pcm", "pcm"},
                {"SUB\\NEW.BIN", "new", 0}})},
    {"NoManifest",
     {{"work/ZRK.DAT", "left alone"}},
     {"Manifest file not found!"},
     "",
     std::nullopt},
    {"AFileThatShrankAfterMeasuring",
     kTwo,
     {"Reading metadata from manifest...", "Writing metadata...", "Repacking A.PCM...",
      "Repacking B.BIN..."},
     "<Output>B.BIN is now 20 bytes long, shorter than the 50 bytes it had when the manifest was "
     "read; ZRK.NEW is incomplete",
     Bytes(kTwoArchive.begin(), kTwoArchive.begin() + 200),
     [](const test::WorkFolder& work, std::string_view line) {
         if (line == "Repacking B.BIN...") {
             fs::resize_file(work.native("Output\\B.BIN"), 20);
         }
     }},
    {"AFileThatGrewAfterMeasuring", kTwo, test::repackLog({"A.PCM", "B.BIN"}), "", kTwoArchive,
     [](const test::WorkFolder& work, std::string_view line) {
         if (line == "Writing metadata...") {
             work.write("Output\\A.PCM", test::bytesOf(kA + "LATER"));
         }
     }},
    refused("ParentFolder", "A.BIN,1\r\n..\\OUT.BIN,1\r\n",
            "manifest.txt line 2: the name \"..\\OUT.BIN\" cannot stand for a file inside the "
            "Output folder",
            {{"OUT.BIN", "beside the work folder"}}),
    refused("MissingFile", "A.BIN,1\r\n\r\nGONE.BIN,1\r\n",
            "manifest.txt line 3: <Output>GONE.BIN is missing or not a plain file"),
    refused("EscapeByteInAName", "E\x1B[31m.BIN,1\r\n",
            "manifest.txt line 1: <Output>E\\27[31m.BIN is missing or not a plain file"),
    refused("AFolder", "SUB,1\r\n", "manifest.txt line 1: <Output>SUB is a folder, not a file"),
    refused("EmptyName", " ,1\r\n", "manifest.txt line 1: the name before the comma is empty"),
    refused("ZeroByteInAName", std::string("A.BIN\0B,1\r\n", 11),
            "manifest.txt line 1: the name \"A.BIN\" is followed by a zero byte, which no file "
            "name can hold"),
    refused("PcmLineWithoutAComma", "A.BIN,1\r\nA.PCM\r\n",
            "manifest.txt line 2: no comma between name and length in \"A.PCM\""),
    refused("NumberNotWhole", "A.BIN,1x\r\n",
            "manifest.txt line 1: the length \"1x\" of \"A.BIN\" is not a whole number"),
    refused("NegativeNumber", "A.BIN,1\r\nSUB\\B.BIN,-1\r\n",
            "manifest.txt line 2: the length -1 of \"SUB\\B.BIN\" is negative; it must be 0 to "
            "2147483647"),
    refused("NoEntries", "\r\n\n\r\n",
            "manifest.txt has no entries: <Output>manifest.txt holds no line naming a file, and an "
            "archive needs at least one"),
    refused("AFileReachedThroughALink", "A.BIN,1\r\nLNK,1\r\n",
            "manifest.txt line 2: <Output>LNK is reached through a link",
            {{"elsewhere/SECRET", "s"}, {"work/Output/LNK", "-> ../../elsewhere/SECRET"}}),
    refused("AFolderReachedThroughALink", "LDIR/SECRET,1\r\n",
            "manifest.txt line 1: <Output>LDIR/SECRET is reached through a link",
            {{"elsewhere/SECRET", "s"}, {"work/Output/LDIR", "-> ../../elsewhere"}}),
    {"AnEntryOver2GiB",
     {{"work/Output/manifest.txt", "HUGE.BIN,0\r\n"}},
     {"Reading metadata from manifest..."},
     "manifest.txt line 1: <Output>HUGE.BIN is 2147483648 bytes long; an entry holds at most "
     "2147483647",
     std::nullopt,
     nullptr,
     [](const test::WorkFolder& work) { sparseFile(work, "HUGE.BIN", 1u << 31); }},
    {"AnArchiveOver2GiB",
     {{"work/Output/manifest.txt", "HALF.BIN,0\r\nHALF.BIN,0\r\n\r\nHALF.BIN,0\r\n"}},
     {"Reading metadata from manifest..."},
     "manifest.txt line 4: with \"HALF.BIN\" (1073741724 bytes) the new archive would be "
     "3221225284 bytes long; it can hold at most 2147483646",
     std::nullopt,
     nullptr,
     [](const test::WorkFolder& work) { sparseFile(work, "HALF.BIN", (1u << 30) - 100); }},
};

class RepackTable : public ::testing::TestWithParam<RepackRow> {};

TEST_P(RepackTable, GivesTheExactLogErrorAndArchive) {
    const RepackRow& row = GetParam();
    test::WorkFolder work;
    Tree files = row.files;
    files.try_emplace("work/ZRK.NEW", "old");
    if (!work.make(files)) {
        GTEST_SKIP() << "this system cannot make " << row.label << "'s files";
    }
    if (row.prepare) {
        row.prepare(work);
    }
    Tree before = work.tree();
    before.erase("work/ZRK.NEW");
    test::RecordingWindow window;
    window.onLog = [&](std::string_view line) {
        if (row.during) {
            row.during(work, line);
        }
    };
    std::string error;
    try {
        runRepack(window, work.path());
    } catch (const ToolError& raised) {
        error = raised.what();
    }
    std::string message = row.error;
    if (std::size_t at = message.find("<Output>"); at != std::string::npos) {
        message.replace(at, 8, work.native("Output\\"));
    }
    EXPECT_EQ(error, message);
    EXPECT_EQ(window.lines, row.log);
    Tree after = work.tree();
    EXPECT_EQ(after.contains("work/ZRK.NEW"), row.archive.has_value());
    if (row.archive) {
        EXPECT_EQ(after["work/ZRK.NEW"], test::textOf(*row.archive));
    }
    after.erase("work/ZRK.NEW");
    if (!row.during) {
        EXPECT_EQ(after, before);
    }
    if (error.empty() && row.archive) {  // once per record and once per entry
        EXPECT_EQ(window.eventRounds, 2 * (static_cast<int>(row.log.size()) - 3));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RepackTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return info.param.label; });

// The longest archive the positions allow is planned; one byte more is not.
TEST(Repack, TheLongestArchiveEndsAtTheLargestPosition) {
    test::WorkFolder work;
    work.write("Output\\manifest.txt", test::bytesOf("BIG.BIN,0\r\n"));
    std::uintmax_t longest = kLargestPosition - firstDataPosition(1);
    sparseFile(work, "BIG.BIN", longest);
    Folder output = Folder::open(work.native("Output"));
    EXPECT_EQ(loadManifest(output).front().dataLength, static_cast<std::int32_t>(longest));
    fs::resize_file(work.native("Output\\BIG.BIN"), longest + 1);
    EXPECT_THROW(loadManifest(output), ToolError);
}

// Unpack then Repack gives back an archive laid out as Repack lays it out:
// subfolders, code-page letters above 0x7F, names of 19 characters and longer
// names whose cut form keeps their kind.
TEST(Repack, GivesBackWhatUnpackTookApart) {
    const char* patterns[] = {"SND\\TONE%03d.PCM",    "\xC9T\xC9\\\xE0%03d.dat",
                              "A\\B\\C\\D%03d.X",     "\x81\xFF\xA0%03d.\xD6L",
                              "NINETEEN_CHARS__%03d", "LONG%03d\\ABCDEFGHIJKLMNOP.BIN",
                              "\x80\x8A\x9F %03d.PCM"};
    std::vector<test::TestEntry> entries;
    for (int i = 0; i < 70; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, patterns[i % std::size(patterns)], i);
        std::string stored = std::string(name).substr(0, kNameWidth);
        entries.push_back({stored, test::pattern(1 + i * 37 % 900, i),
                           kindForName(stored) == kKindPcm ? std::nullopt : std::optional(i * 7)});
    }
    test::WorkFolder work;
    work.write("ZRK.DAT", archiveOf(entries));
    test::RecordingWindow window;
    runUnpack(window, work.path());
    runRepack(window, work.path());
    EXPECT_EQ(work.read("ZRK.NEW"), work.read("ZRK.DAT"));
}

}  // namespace
}  // namespace zrk
