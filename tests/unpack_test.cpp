// Unpack in a fresh work folder: an archive and whatever is in Output's way
// in; the exact log, the exact error and every file below the work folder's
// parent out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ansi_text.h"
#include "archive_format.h"
#include "errors.h"
#include "native_path.h"
#include "support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::archiveOf;
using test::Bytes;
using test::Tree;
using test::withField;

struct UnpackRow {
    std::string label;
    std::optional<Bytes> archive;  // ZRK.DAT
    std::vector<std::string> log;
    std::string error;  // "<work>" stands for the work folder
    // What the run adds or changes: keys below work/Output, or below the
    // parent when they begin with '/'. Folders below Output go without saying.
    Tree after;
    Tree before = {};  // made below the parent first
    // Acts on a log line; false when the system cannot do what the row needs.
    std::function<bool(const test::WorkFolder&, std::string_view)> during = nullptr;
};

void PrintTo(const UnpackRow& row, std::ostream* out) {
    *out << row.label;
}

const std::string kB = "B\xE9.BIN";
const Bytes kTwo = archiveOf({{"A.BIN", "abc"}, {kB, "de"}});  // data at 81 to 85
const std::string kTwoManifest = "A.BIN,3\r\n" + kB + ",2\r\n";
const std::string kBFile = "B\xC3\xA9.BIN";  // kB as a UTF-8 path

Bytes cut(Bytes archive, std::size_t length) {
    archive.resize(length);
    return archive;
}

UnpackRow damaged(std::string label, Bytes archive, std::string problem) {
    std::vector<std::string> log;
    if (archive.size() >= kHeaderSize) {
        log.push_back("Reading metadata...");
    }
    return {label, archive, log, "<work>ZRK.DAT is damaged: " + problem, {}};
}

// The second entry's data moved and resized, outside the file.
UnpackRow outside(std::string label, std::uint32_t at, std::uint32_t length, std::string where) {
    return {label,
            withField(withField(kTwo, 2, kDataOffsetOffset, at), 2, kDataLengthOffset, length),
            test::unpackLog({"A.BIN", kB}, {}, false),
            "<work>ZRK.DAT is damaged: entry 2 " + quote(kB) + " has its " + where +
                ", but the file holds positions 1 to 85",
            {{"manifest.txt", kTwoManifest}, {"A.BIN", "abc"}}};
}

// Entries of one byte each ('a', 'b', ...) under `names`, shown in the log as
// `shown`; those for which `refused` holds are not written.
UnpackRow names(std::string label, const std::vector<std::string>& stored,
                const std::vector<std::string>& shown, std::function<bool(std::size_t)> refused) {
    std::vector<test::TestEntry> entries;
    std::vector<std::string> refusedNames;
    Tree after = {{"manifest.txt", ""}};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        std::string data(1, static_cast<char>('a' + i));
        entries.push_back({stored[i], data});
        after["manifest.txt"] += shown[i] + ",1\r\n";
        if (refused(i)) {
            refusedNames.push_back(shown[i]);
        } else {
            std::string path = windows1252ToUtf8(shown[i]);
            std::replace(path.begin(), path.end(), '\\', '/');
            after[path] = data;
        }
    }
    return {label, archiveOf(entries), test::unpackLog(shown, refusedNames), "", after};
}

std::vector<std::string> manifestRefused(std::vector<std::string> log) {
    log.insert(log.begin() + 2, "Unable to write manifest file");
    return log;
}

const bool kWindows = hostNameRules() == NameRules::Windows;

const std::vector<UnpackRow> kRows = {
    {"TwoEntries",
     kTwo,
     test::unpackLog({"A.BIN", kB}),
     "",
     {{"manifest.txt", kTwoManifest}, {"A.BIN", "abc"}, {kBFile, "de"}}},
    {"NoArchive", std::nullopt, {"ZRK.DAT not found!"}, "", {}},
    {"FirstDataOffsetEndsTheDirectory",
     withField(kTwo, 1, kDataOffsetOffset, 49),
     test::unpackLog({"A.BIN"}),
     "",
     {{"manifest.txt", "A.BIN,3\r\n"}, {"A.BIN", kB.substr(0, 3)}}},
    {"SubfoldersFromBackslashesAndZeroEscapes",
     archiveOf({{"SUB\\DEEP\\A.PCM", "a"}, {std::string("AB\0C", 4), "b", 7}}),
     test::unpackLog({"SUB\\DEEP\\A.PCM", "AB\\0C"}),
     "",
     {{"manifest.txt", "SUB\\DEEP\\A.PCM,1\r\nAB\\0C,7\r\n"},
      {"SUB/DEEP/A.PCM", "a"},
      {"AB/0C", "b"}}},
    {"ALaterEntryOfTheSameNameReplacesTheEarlier",
     archiveOf({{"A.BIN", "first"}, {"A.BIN", "second"}}),
     test::unpackLog({"A.BIN", "A.BIN"}),
     "",
     {{"manifest.txt", "A.BIN,5\r\nA.BIN,6\r\n"}, {"A.BIN", "second"}}},
    {"OlderFilesAreReplacedWhole",
     archiveOf({{"A.BIN", "abc"}, {"EMPTY.BIN", ""}}),
     test::unpackLog({"A.BIN", "EMPTY.BIN"}),
     "",
     {{"manifest.txt", "A.BIN,3\r\nEMPTY.BIN,0\r\n"}, {"A.BIN", "abc"}, {"EMPTY.BIN", ""}},
     {{"work/Output/A.BIN", "a much longer old content"},
      {"work/Output/EMPTY.BIN", "old"},
      {"work/Output/manifest.txt", "OLD.BIN,1\r\nOLDER.BIN,2\r\n"}}},
    {"AFileOrFolderInTheWaySkipsOnlyItsEntry",
     archiveOf({{"SUB\\A.BIN", "a"}, {"B.BIN", "b"}, {"C.BIN", "c"}}),
     test::unpackLog({"SUB\\A.BIN", "B.BIN", "C.BIN"}, {"SUB\\A.BIN", "B.BIN"}),
     "",
     {{"manifest.txt", "SUB\\A.BIN,1\r\nB.BIN,1\r\nC.BIN,1\r\n"}, {"C.BIN", "c"}},
     {{"work/Output/SUB", "a file"}, {"work/Output/B.BIN/", "/"}}},
    {"OutputIsAFile",
     archiveOf({{"A.BIN", "a"}}),
     manifestRefused(test::unpackLog({"A.BIN"}, {"A.BIN"})),
     "",
     {},
     {{"work/Output", "a file"}}},
    {"LinksBelowOutputAreNeverFollowed",
     archiveOf({{"LINK\\A.BIN", "a"},
                {"LINK\\NEW\\B.BIN", "b"},
                {"FILE.BIN", "c"},
                {"DANGLE.BIN", "d"},
                {"OK.BIN", "e"}}),
     manifestRefused(
         test::unpackLog({"LINK\\A.BIN", "LINK\\NEW\\B.BIN", "FILE.BIN", "DANGLE.BIN", "OK.BIN"},
                         {"LINK\\A.BIN", "LINK\\NEW\\B.BIN", "FILE.BIN", "DANGLE.BIN"})),
     "",
     {{"OK.BIN", "e"}},
     {{"elsewhere/KEEP.BIN", "keep"},
      {"work/Output/LINK", "-> ../../elsewhere"},
      {"work/Output/FILE.BIN", "-> ../../elsewhere/KEEP.BIN"},
      {"work/Output/DANGLE.BIN", "-> ../../elsewhere/MADE.BIN"},
      {"work/Output/manifest.txt", "-> ../../elsewhere/LIST.TXT"}}},
    {"OutputAsALinkIsFollowed",
     archiveOf({{"SUB\\A.BIN", "a"}}),
     test::unpackLog({"SUB\\A.BIN"}),
     "",
     {{"/elsewhere/manifest.txt", "SUB\\A.BIN,1\r\n"},
      {"/elsewhere/SUB/", "/"},
      {"/elsewhere/SUB/A.BIN", "a"}},
     {{"elsewhere/", "/"}, {"work/Output", "-> ../elsewhere"}}},
    {"NamedPipesAreRefusedNotWaitedOn",
     archiveOf({{"PIPE.BIN", "p"}, {"OK.BIN", "ok"}}),
     manifestRefused(test::unpackLog({"PIPE.BIN", "OK.BIN"}, {"PIPE.BIN"})),
     "",
     {{"OK.BIN", "ok"}},
     {{"work/Output/PIPE.BIN", "<pipe>"}, {"work/Output/manifest.txt", "<pipe>"}}},
    {"TheArchiveUnderAnotherNameIsNeverEmptied",
     archiveOf({{"A.BIN", "a"}, {"B.BIN", "b"}}),
     test::unpackLog({"A.BIN", "B.BIN"}, {"A.BIN"}),
     "",
     {{"manifest.txt", "A.BIN,1\r\nB.BIN,1\r\n"}, {"B.BIN", "b"}},
     {{"work/Output/A.BIN", "=> work/ZRK.DAT"}}},
    names("NamesOfTheManifestAreRefused", {"manifest.txt", ".\\manifest.txt", "SUB\\manifest.txt"},
          {"manifest.txt", ".\\manifest.txt", "SUB\\manifest.txt"},
          [](std::size_t i) { return i < 2; }),
    names("NamesLeavingOutputAreRefused",
          {"..\\UP.BIN", "../UP.BIN", "SUB\\..\\A.BIN", "\\ROOT.BIN", "/ROOT.BIN", "SUB\\", ".", "",
           "..\x01", "\x01\x02", "OK.BIN"},
          {"..\\UP.BIN", "../UP.BIN", "SUB\\..\\A.BIN", "\\ROOT.BIN", "/ROOT.BIN", "SUB\\", ".", "",
           "..\\1", "\\1\\2", "OK.BIN"},
          [](std::size_t i) { return i < 10; }),
    names("OddNamesFollowTheSystemsRules",
          {"CON", "nul.bin", "LPT\xB9", "C:\\A.BIN", "A.BIN:S", "...\\UP.BIN", "SUB\\AUX",
           "A\nB.BIN", "NINETEEN_CHARACTERS", "TWENTY_SIX_CHARACTERS_LONG"},
          {"CON", "nul.bin", "LPT\xB9", "C:\\A.BIN", "A.BIN:S", "...\\UP.BIN", "SUB\\AUX",
           "A\\10B.BIN", "NINETEEN_CHARACTERS", "TWENTY_SIX_CHARACTE"},
          [](std::size_t i) { return kWindows && i < 7; }),

    damaged("EmptyArchive", {}, "it is 0 bytes long, shorter than its 16-byte header"),
    damaged("NoDirectory", cut(kTwo, 16),
            "it ends at position 16, inside directory record 1 (positions 17 to 48)"),
    damaged("DirectoryPastTheEnd", cut(kTwo, 79),
            "directory record 1 puts the first data byte at position 81, so the directory would "
            "hold 2 records at positions 17 to 80, but the file ends at position 79"),
    damaged("FirstDataOffsetNear2To31", withField(kTwo, 1, kDataOffsetOffset, 2147483647),
            "directory record 1 puts the first data byte at position 2147483647, so the directory "
            "would hold 67108864 records at positions 17 to 2147483664, but the file ends at "
            "position 85"),
    {"AFieldAbove2To31Less1",
     withField(kTwo, 2, kDeclaredLengthOffset, 0xFFFFFFFF),
     {"Reading metadata..."},
     "declaredLength of directory record 2: the bytes FF FF FF FF give a value above "
     "2,147,483,647",
     {}},
    outside("DataPastTheEnd", 84, 3, "3 bytes at positions 84 to 86"),
    outside("DataAtPosition0", 0, 1, "1 bytes at positions 0 to 0"),
    outside("DataNear2To31", 2147483647, 2147483647,
            "2147483647 bytes at positions 2147483647 to 4294967293"),
    {"OverlappingEntriesAreCopiedAsTheySay",
     withField(withField(kTwo, 2, kDataOffsetOffset, 82), 2, kDataLengthOffset, 4),
     test::unpackLog({"A.BIN", kB}),
     "",
     {{"manifest.txt", kTwoManifest}, {"A.BIN", "abc"}, {kBFile, "bcde"}}},
    {"AnEntryOverTheHeader",
     withField(withField(kTwo, 2, kDataOffsetOffset, 1), 2, kDataLengthOffset, 12),
     test::unpackLog({"A.BIN", kB}),
     "",
     {{"manifest.txt", kTwoManifest}, {"A.BIN", "abc"}, {kBFile, "ZRK.DAT 1.00"}}},
    {"AnArchiveCutShortDuringTheRun",
     kTwo,
     test::unpackLog({"A.BIN", kB}, {}, false),
     "<work>ZRK.DAT became shorter during the run: entry 2 " + quote(kB) +
         " got only 1 of its 2 bytes from position 84; its file holds what there was",
     {{"manifest.txt", kTwoManifest},
      {"A.BIN", "abc"},
      {kBFile, "d"},
      {"/work/ZRK.DAT", test::textOf(cut(kTwo, 84))}},
     {},
     [](const test::WorkFolder& work, std::string_view line) {
         if (line == "Unpacking " + kB + "...") {
             fs::resize_file(work.native("ZRK.DAT"), 84);
         }
         return true;
     }},
    {"AFolderSwappedForALinkDuringTheRun",
     archiveOf({{"D\\A.BIN", "a"}, {"D\\B.BIN", "b"}, {"D\\NEW\\C.BIN", "c"}}),
     test::unpackLog({"D\\A.BIN", "D\\B.BIN", "D\\NEW\\C.BIN"}, {"D\\B.BIN", "D\\NEW\\C.BIN"}),
     "",
     {{"manifest.txt", "D\\A.BIN,1\r\nD\\B.BIN,1\r\nD\\NEW\\C.BIN,1\r\n"},
      {"D", "-> ../../elsewhere"},
      {"D.OLD/A.BIN", "a"},
      {"D.OLD/NEW/", "/"}},
     {{"elsewhere/", "/"}},
     [](const test::WorkFolder& work, std::string_view line) {
         std::error_code error;
         if (line == "Unpacking D\\B.BIN...") {
             fs::rename(work.native("Output\\D"), work.native("Output\\D.OLD"));
             fs::create_directory_symlink("../../elsewhere", work.native("Output\\D"), error);
         }
         return !error;
     }},
};

class UnpackTable : public ::testing::TestWithParam<UnpackRow> {};

TEST_P(UnpackTable, GivesTheExactLogErrorAndFiles) {
    const UnpackRow& row = GetParam();
    test::WorkFolder work;
    if (row.archive) {
        work.write("ZRK.DAT", *row.archive);
    }
    if (!work.make(row.before)) {
        GTEST_SKIP() << "this system cannot make " << row.label << "'s files";
    }
    Tree expected = work.tree();
    for (const auto& [key, content] : row.after) {
        std::string path = key.starts_with('/') ? key.substr(1) : "work/Output/" + key;
        for (std::size_t cut = path.find('/', 5); !key.starts_with('/') && cut != path.npos;
             cut = path.find('/', cut + 1)) {
            if (!expected.contains(path.substr(0, cut))) {
                expected[path.substr(0, cut + 1)] = "/";
            }
        }
        expected[path] = content;
    }
    test::RecordingWindow window;
    bool possible = true;
    window.onLog = [&](std::string_view line) {
        possible = (!row.during || row.during(work, line)) && possible;
    };
    std::string error;
    try {
        runUnpack(window, work.path());
    } catch (const ToolError& raised) {
        error = raised.what();
    }
    if (!possible) {
        GTEST_SKIP() << "this system cannot do what " << row.label << " needs";
    }
    std::string message = row.error;
    if (message.starts_with("<work>")) {
        message.replace(0, 6, work.path());
    }
    EXPECT_EQ(error, message);
    EXPECT_EQ(window.lines, row.log);
    EXPECT_EQ(work.tree(), expected);
    if (error.empty() && row.archive) {  // once per record and once per entry
        EXPECT_EQ(window.eventRounds,
                  2 * std::count_if(row.log.begin(), row.log.end(), [](const std::string& line) {
                      return line.starts_with("Unpacking ");
                  }));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UnpackTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return info.param.label; });

// Positions past 2 GiB reach the right bytes: a sparse archive whose one entry
// lies at its end.
TEST(Unpack, AnEntryAtTheTwoGibibyteEndOfASparseArchive) {
    test::WorkFolder work;
    Bytes archive = cut(withField(kTwo, 2, kDataOffsetOffset, 2147483644), 81);
    work.write("ZRK.DAT", archive);
    fs::resize_file(work.native("ZRK.DAT"), 2147483643);
    std::ofstream(work.native("ZRK.DAT"), std::ios::binary | std::ios::app) << "ta";
    test::RecordingWindow window;
    runUnpack(window, work.path());
    EXPECT_EQ(test::textOf(work.read("Output\\" + kB)), "ta");
}

}  // namespace
}  // namespace zrk
