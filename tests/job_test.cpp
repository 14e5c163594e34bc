// Both jobs in a fresh work folder, one table: the files before (an archive, a
// manifest, whatever is in the way) in; the exact log, the exact error and
// every file below the work folder's parent out.
#include <gtest/gtest.h>

#include <filesystem>

#include "ansi_text.h"
#include "archive_format.h"
#include "errors.h"
#include "file.h"
#include "folder.h"
#include "manifest_loading.h"
#include "relative_path.h"
#include "repack_job.h"
#include "support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::plus;
using test::Tree;
using test::unpackLog;
using test::withField;
constexpr auto archive = test::archiveOf;
using Log = std::vector<std::string>;

// clang-format off
struct Row {
    std::string label;
    JobReport (*job)(ToolWindow&, const Folder&);
    Tree before;  // files keyed by their path below the work folder, or below its parent after a '/'
    Log log;
    std::string error;  // "<work>" and "<Output>" stand for those folders' paths, "<sep>" for the separator
    Tree after = {};    // what the run changes, keyed as `before`, "<gone>" for a file it removes
    // Acts on a log line; false where the system cannot do what the row needs.
    std::function<bool(const test::WorkFolder&, std::string_view)> during = nullptr;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

// A.BIN ("abc" at 81 to 83) and B, with a code-page letter ("de" at 84 to 85).
const std::string kB = "B\xA0\xE9.BIN", kBPath = "Output/B\xC2\xA0\xC3\xA9.BIN";  // kB as the file system shows it
const std::string kTwo = archive({{"A.BIN", "abc"}, {kB, "de"}}), kTwoManifest = "A.BIN,3\r\n" + kB + ",2\r\n";
const std::string kLong = archive({{"A.BIN", "abc"}, {kB, test::pattern(70000, 3)}});
const Tree kTwoOut = {{"Output/manifest.txt", kTwoManifest}, {"Output/A.BIN", "abc"}};
std::string movedB(std::uint32_t at, std::uint32_t length) {
    return withField(withField(kTwo, 2, kDataOffsetOffset, at), 2, kDataLengthOffset, length);
}
Row damaged(std::string label, std::string bytes, std::string problem) {
    Log log = bytes.size() < kHeaderSize ? Log{} : Log{"Reading metadata..."};
    return {label, runUnpack, {{"ZRK.DAT", bytes}}, log, "<work>ZRK.DAT is damaged: " + problem};
}
Row outside(std::string label, std::uint32_t at, std::uint32_t length, std::string where) {
    return {label, runUnpack, {{"ZRK.DAT", movedB(at, length)}}, unpackLog({"A.BIN", kB}, {}, false),
            "<work>ZRK.DAT is damaged: entry 2 " + quote(kB) + " has its " + where + ", but the file holds "
            "positions 1 to 85", kTwoOut};
}
// Acts on the work folder at a log line; the row is skipped where the system
// cannot do it.
auto at(std::string line, std::function<void(const test::WorkFolder&, std::error_code&)> act) {
    return [=](const test::WorkFolder& work, std::string_view seen) {
        std::error_code error;  // Windows, for one, lets no one cut a file the job reads
        return seen != line || (act(work, error), !error);
    };
}
// Renames the folder to OLD and puts a link to elsewhere in its place; Windows
// lets no one rename a folder a run holds.
auto swapForALink(std::string folder) {
    return [=](const test::WorkFolder& work, std::error_code& error) {
        fs::rename(work.native(folder), work.native("Output\\OLD"), error);
        if (!error) test::makeLink("../../elsewhere", work.native(folder), error);
    };
}
Log manifestRefused(Log log) { return log.insert(log.begin() + 2, "Unable to write manifest file"), log; }
// Every manifest fault ends the run before ZRK.NEW is made.
Row refused(std::string label, std::string manifest, std::string error, Tree files = {}) {
    files.insert({{"Output/manifest.txt", manifest}, {"Output/A", "a"}, {"Output/S/B", "b"}});
    return {label, runRepack, files, {"Reading metadata from manifest..."}, error};
}

// Two entries for Repack, and their archive written out by hand: the one check that does not share
// the format's code.
const std::string kA100 = test::pattern(100, 1), kB50 = test::pattern(50, 2);
const Tree kTwoFiles = {{"Output/manifest.txt", "A.PCM,100\r\nB.BIN,96\r\n"}, {"Output/A.PCM", kA100},
                        {"Output/B.BIN", kB50}, {"ZRK.DAT", "left alone"}, {"/elsewhere/OLD", "old"},
                        {"ZRK.NEW", "=> elsewhere/OLD"}};  // replaced, not written through
const std::string kTwoByHand =
    std::string("ZRK.DAT 1.00\1\0\0\0A.PCM\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0d\0\0\0d\0\0\0Q\0\0\0B.BIN", 53) +
    std::string("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\1" "2\0\0\0`\0\0\0\xB5\0\0\0", 27) + kA100 + kB50;
const Log kTwoRepacked = test::repackLog({"A.PCM", "B.BIN"});
// clang-format on

const bool kWindows = hostNameRules() == NameRules::Windows;

// clang-format off
const std::vector<Row> kRows = {
    {"UnpackTwoEntries", runUnpack, {{"ZRK.DAT", kTwo}}, unpackLog({"A.BIN", kB}), "", plus(kTwoOut, {{kBPath, "de"}})},
    {"UnpackWithoutAnArchive", runUnpack, {}, {"ZRK.DAT not found!"}, ""},
    {"UnpackFindsTheDirectoryEndAtTheFirstData", runUnpack, {{"ZRK.DAT", withField(kTwo, 1, kDataOffsetOffset, 49)}},
     unpackLog({"A.BIN"}), "", {{"Output/manifest.txt", "A.BIN,3\r\n"}, {"Output/A.BIN", kB.substr(0, 3)}}},
    {"UnpackMakesFoldersFromBackslashesAndZeroEscapes", runUnpack,
     {{"ZRK.DAT", archive({{"S\\.\\D\\\\A.PCM", "a"}, {std::string("AB\0C", 4), "b", 7}})}},
     unpackLog({"S\\.\\D\\\\A.PCM", "AB\\0C"}), "",
     {{"Output/manifest.txt", "S\\.\\D\\\\A.PCM,1\r\nAB\\0C,7\r\n"}, {"Output/S/D/A.PCM", "a"}, {"Output/AB/0C", "b"}}},
    // A file is replaced, never written through: another name of it keeps its bytes.
    {"UnpackReplacesOlderFilesWhole", runUnpack,
     {{"ZRK.DAT", archive({{"A", "abc"}, {"E", ""}, {"A", "new"}, {"z.bin", "z"}})}, {"/elsewhere/KEEP", "a longer old one"},
      {"Output/A", "=> elsewhere/KEEP"}, {"Output/E", "o"}, {"Output/manifest.txt", "OLD,1\r\n"},
      {"Output/z.bin", "=> work/Output/manifest.txt"}}, unpackLog({"A", "E", "A", "z.bin"}), "",
     {{"Output/manifest.txt", "A,3\r\nE,0\r\nA,3\r\nz.bin,1\r\n"}, {"Output/A", "new"}, {"Output/E", ""}, {"Output/z.bin", "z"}}},
    {"UnpackSkipsOnlyTheEntryAFileOrFolderIsInTheWayOf", runUnpack,
     {{"ZRK.DAT", archive({{"S\\A", "a"}, {"T\\B", "b"}, {"C", "c"}})}, {"Output/S", "a file"}, {"Output/T/B/", "/"}},
     unpackLog({"S\\A", "T\\B", "C"}, {"S\\A", "T\\B"}), "", {{"Output/manifest.txt", "S\\A,1\r\nT\\B,1\r\nC,1\r\n"}, {"Output/C", "c"}}},
    // An archive of empty entries ends where its directory ends.
    {"UnpackWhereOutputIsAFile", runUnpack, {{"ZRK.DAT", archive({{"A", ""}})}, {"Output", "a file"}},
     manifestRefused(unpackLog({"A"}, {"A"})), ""},
    // Wine hides a link whose target is missing, and a rename replaces it: the link, never its target.
    {"UnpackNeverFollowsALinkBelowOutput", runUnpack,
     {{"ZRK.DAT", archive({{"L\\A", "a"}, {"F", "c"}, {"D", "d"}, {"OK", "e"}})},
      {"/elsewhere/KEEP", "keep"}, {"Output/L", "-> ../../elsewhere"}, {"Output/F", "-> ../../elsewhere/KEEP"},
      {"Output/D", "-> ../../elsewhere/MADE"}, {"Output/manifest.txt", "-> ../../elsewhere/LIST"}},
     kWindows ? unpackLog({"L\\A", "F", "D", "OK"}, {"L\\A", "F"})
              : manifestRefused(unpackLog({"L\\A", "F", "D", "OK"}, {"L\\A", "F", "D"})), "",
     kWindows ? Tree{{"Output/OK", "e"}, {"Output/D", "d"}, {"Output/manifest.txt", "L\\A,1\r\nF,1\r\nD,1\r\nOK,1\r\n"}}
              : Tree{{"Output/OK", "e"}}},
    {"UnpackFollowsTheArchiveAndOutputAsLinks", runUnpack,
     {{"/elsewhere/ARCHIVE", archive({{"S\\A", "a"}})}, {"ZRK.DAT", "-> ../elsewhere/ARCHIVE"}, {"Output", "-> ../elsewhere"}},
     unpackLog({"S\\A"}), "", {{"/elsewhere/manifest.txt", "S\\A,1\r\n"}, {"/elsewhere/S/", "/"}, {"/elsewhere/S/A", "a"}}},
    {"UnpackRefusesNamedPipesRatherThanWaitOnThem", runUnpack,
     {{"ZRK.DAT", archive({{"P", "p"}, {"OK", "ok"}})}, {"Output/P", "<pipe>"}, {"Output/manifest.txt", "<pipe>"}},
     manifestRefused(unpackLog({"P", "OK"}, {"P"})), "", {{"Output/OK", "ok"}}},
    {"UnpackNeverEmptiesTheArchiveUnderAnotherName", runUnpack,
     {{"Output/A", archive({{"A", "a"}, {"B", "b"}})}, {"ZRK.DAT", "=> work/Output/A"}},
     unpackLog({"A", "B"}, {"A"}), "", {{"Output/manifest.txt", "A,1\r\nB,1\r\n"}, {"Output/B", "b"}}},
    {"UnpackRefusesNamesLeavingOutputOrNamingTheManifest", runUnpack,
     {{"ZRK.DAT", archive({{"..\\UP", "a"}, {"..\x01", "e"}, {".\\manifest.txt", "f"}, {"S\\manifest.txt", "g"}})}},
     unpackLog({"..\\UP", "..\\1", ".\\manifest.txt", "S\\manifest.txt"}, {"..\\UP", "..\\1", ".\\manifest.txt"}), "",
     {{"Output/manifest.txt", "..\\UP,1\r\n..\\1,1\r\n.\\manifest.txt,1\r\nS\\manifest.txt,1\r\n"}, {"Output/S/manifest.txt", "g"}}},
    damaged("UnpackOfAnEmptyFile", "", "it is 0 bytes long, shorter than its 16-byte header"),
    damaged("UnpackWithoutADirectory", kTwo.substr(0, 16), "it ends at position 16, inside directory record 1 (positions 17 to 48)"),
    damaged("UnpackOfADirectoryPastTheEnd", kTwo.substr(0, 79), "directory record 1 puts the first data byte at position "
            "81, so the directory would hold 2 records at positions 17 to 80, but the file ends at position 79"),
    damaged("UnpackWithTheFirstDataNear2To31", withField(kTwo, 1, kDataOffsetOffset, 2147483647), "directory record 1 puts "
            "the first data byte at position 2147483647, so the directory would hold 67108864 records at positions 17 to "
            "2147483664, but the file ends at position 85"),
    {"UnpackOfAFieldAbove2To31Less1", runUnpack, {{"ZRK.DAT", withField(kTwo, 2, kDeclaredLengthOffset, 0xFFFFFFFF)}},
     {"Reading metadata..."}, "declaredLength of directory record 2: the bytes FF FF FF FF give a value above 2,147,483,647"},
    {"UnpackOfAFieldAbove2To31Less1InRecord1", runUnpack, {{"ZRK.DAT", withField(kTwo, 1, kDataLengthOffset, 0x80000000)}},
     {"Reading metadata..."}, "dataLength of directory record 1: the bytes 00 00 00 80 give a value above 2,147,483,647"},
    outside("UnpackOfDataPastTheEnd", 84, 3, "3 bytes at positions 84 to 86"),
    outside("UnpackOfDataAtPosition0", 0, 1, "1 bytes at positions 0 to 0"),
    {"UnpackCopiesAnEntryOverTheHeader", runUnpack, {{"ZRK.DAT", movedB(1, 12)}}, unpackLog({"A.BIN", kB}), "",
     plus(kTwoOut, {{kBPath, "ZRK.DAT 1.00"}})},
    // An entry this long is read from the archive when its turn comes.
    {"UnpackOfAnArchiveCutShortDuringTheRun", runUnpack, {{"ZRK.DAT", kLong}}, unpackLog({"A.BIN", kB}, {}, false),
     "<work>ZRK.DAT became shorter during the run: entry 2 " + quote(kB) + " got only 100 of its 70000 bytes from position "
     "84; its file is not written",
     plus({{"ZRK.DAT", kLong.substr(0, 183)}, {"Output/manifest.txt", "A.BIN,3\r\n" + kB + ",70000\r\n"}}, kTwoOut),
     at("Unpacking " + kB + "...", [](auto& work, auto& error) { fs::resize_file(work.native("ZRK.DAT"), 183, error); })},
    // The folder held since D\A goes on taking D's files, under its new name.
    {"UnpackWhileAFolderIsSwappedForALink", runUnpack,
     {{"ZRK.DAT", archive({{"D\\A", "a"}, {"D\\B", "b"}, {"D\\N\\C", "c"}})}, {"/elsewhere/", "/"}},
     unpackLog({"D\\A", "D\\B", "D\\N\\C"}), "",
     {{"Output/manifest.txt", "D\\A,1\r\nD\\B,1\r\nD\\N\\C,1\r\n"}, {"Output/D", "-> ../../elsewhere"},
      {"Output/OLD/A", "a"}, {"Output/OLD/B", "b"}, {"Output/OLD/N/C", "c"}},
     at("Unpacking D\\B...", swapForALink("Output\\D"))},

    {"RepackTwoEntries", runRepack, kTwoFiles, kTwoRepacked, "", {{"ZRK.NEW", kTwoByHand}}},
    {"RepackTakesNamesNumbersAndLinesAsTheManifestGivesThem", runRepack,
     {{"Output/manifest.txt", "  S.BIN  ,  5  \n\r\nAB\\0C,0\r\nTWENTY_SIX_CHARS_LONG.PCM,x\nl.pcm,"},
      {"Output/S.BIN", "s"}, {"Output/AB/0C", ""}, {"Output/TWENTY_SIX_CHARS_LONG.PCM", "long"}, {"Output/l.pcm", "pcm"}},
     test::repackLog({"S.BIN", "AB\\0C", "TWENTY_SIX_CHARS_LONG.PCM", "l.pcm"}), "",
     {{"ZRK.NEW", archive({{"S.BIN", "s", 5}, {"AB\\0C", "", 0}, {"TWENTY_SIX_CHARS_LONG.PCM", "long"}, {"l.pcm", "pcm"}})}}},
    {"RepackRefusesAZrkNewItCannotReplace", runRepack, plus({{"ZRK.NEW", "-> ../elsewhere/OLD"}}, kTwoFiles), {},
     "cannot remove <work>ZRK.NEW: it is not a plain file but a folder, a link or a special file",
     {{"ZRK.NEW", "-> ../elsewhere/OLD"}}},
    {"RepackWithoutAManifest", runRepack, {{"ZRK.DAT", "left alone"}}, {"Manifest file not found!"}, ""},
    {"RepackWhereOutputIsAFile", runRepack, {{"Output", "a file"}}, {"Manifest file not found!"}, ""},
    // A file changed after measuring ends the run, and ZRK.NEW, begun, is not written.
    {"RepackOfAFileThatShrankAfterMeasuring", runRepack, kTwoFiles, test::repackLog({"A.PCM", "B.BIN"}, false),
     "<Output>B.BIN changed after it was measured: 50 bytes then, 20 now", {{"Output/B.BIN", kB50.substr(0, 20)}},
     at("Repacking B.BIN...", [](auto& work, auto& error) { fs::resize_file(work.native("Output\\B.BIN"), 20, error); })},
    {"RepackOfAFileThatGrewAfterMeasuring", runRepack, kTwoFiles, test::repackLog({"A.PCM"}, false),
     "<Output>A.PCM changed after it was measured: 100 bytes then, 105 now", {{"Output/A.PCM", kA100 + "LATER"}},
     at("Writing metadata...", [](auto& work, auto&) { work.write("Output\\A.PCM", kA100 + "LATER"); })},
    {"RepackOfAFileSwappedForALinkAfterMeasuring", runRepack, kTwoFiles, test::repackLog({"A.PCM", "B.BIN"}, false),
     "<Output>B.BIN is reached through a link", {{"Output/B.BIN", "-> A.PCM"}},
     at("Writing metadata...", [](auto& work, auto& error) {
         fs::remove(work.native("Output\\B.BIN"));
         test::makeLink("A.PCM", work.native("Output\\B.BIN"), error);
     })},
    // Windows words the error in its own language.
    {"RepackOfAFileRemovedAfterMeasuring", runRepack, kTwoFiles, test::repackLog({"A.PCM", "B.BIN"}, false),
     "cannot open <Output>B.BIN: No such file or directory", {{"Output/B.BIN", "<gone>"}},
     at("Writing metadata...", [](auto& work, auto& error) {
         if (kWindows) error.assign(ENOSYS, std::generic_category());
         else fs::remove(work.native("Output\\B.BIN"));
     })},
    // The folder held since measuring gives the file measured, under its new name.
    {"RepackOfAFolderSwappedForALinkAfterMeasuring", runRepack,
     {{"Output/manifest.txt", "A,1\r\nS\\B,1\r\n"}, {"Output/A", "a"}, {"Output/S/B", "b"}, {"/elsewhere/B", "secret"}},
     test::repackLog({"A", "S\\B"}), "",
     {{"ZRK.NEW", archive({{"A", "a"}, {"S\\B", "b"}})}, {"Output/OLD/B", "b"},
      {"Output/S", "-> ../../elsewhere"}, {"Output/S/", "<gone>"}, {"Output/S/B", "<gone>"}},
     at("Repacking A...", swapForALink("Output\\S"))},
    refused("RepackRefusesAParentFolder", "A,1\r\n..\\OUT,1\r\n",
            "manifest.txt line 2: the name \"..\\OUT\" cannot stand for a file inside the Output folder", {{"/OUT", "out"}}),
    refused("RepackRefusesAMissingFile", "A,1\r\n\r\nX\\GONE,1\r\n", "manifest.txt line 3: <Output>X<sep>GONE is missing or not a plain file"),
    refused("RepackRefusesAFolder", "S,1\r\n", "manifest.txt line 1: <Output>S is a folder, not a file"),
    refused("RepackRefusesAnEmptyName", " ,1\r\n", "manifest.txt line 1: the name before the comma is empty"),
    refused("RepackRefusesAZeroByteInAName", std::string("A\0B,1\r\n", 7),
            "manifest.txt line 1: the name \"A\" is followed by a zero byte, which no file name can hold"),
    refused("RepackRefusesANegativeNumber", "A,1\r\nS\\B,-1\r\n",
            "manifest.txt line 2: the length -1 of \"S\\B\" is negative; it must be 0 to 2147483647"),
    refused("RepackRefusesAManifestWithoutEntries", "\r\n\n\r\n", "manifest.txt has no entries: <Output>manifest.txt holds no "
            "line naming a file, and an archive needs at least one"),
    refused("RepackRefusesAFileReachedThroughALink", "A,1\r\nLNK,1\r\n", "manifest.txt line 2: <Output>LNK is reached through "
            "a link", {{"/elsewhere/SECRET", "s"}, {"Output/LNK", "-> ../../elsewhere/SECRET"}}),
    refused("RepackRefusesAFolderReachedThroughALink", "S/L/SECRET,1\r\n", "manifest.txt line 1: <Output>S<sep>L<sep>SECRET "
            "is reached through a link", {{"/elsewhere/SECRET", "s"}, {"Output/S/L", "-> ../../../elsewhere"}}),
    // Windows drops the space that ends a part, so there the name stands for the folder "a".
    refused("RepackReadsNoLinkNamedWithATrailingSpace", "a \\SECRET,1\r\n", kWindows
            ? "manifest.txt line 1: <Output>a<sep>SECRET is missing or not a plain file"
            : "manifest.txt line 1: <Output>a <sep>SECRET is reached through a link",
            {{"/elsewhere/SECRET", "s"}, {"Output/a ", "-> ../../elsewhere"}}),
    refused("RepackRefusesAnEntryOver2GiB", "HUGE,0\r\n", "manifest.txt line 1: <Output>HUGE is 2147483648 bytes long; an "
            "entry holds at most 2147483647", {{"Output/HUGE", "<sparse 2147483648>"}}),
    refused("RepackRefusesAnEntryOf2GiBLessOne", "H,0\r\n", "manifest.txt line 1: with \"H\" (2147483647 bytes) the new "
            "archive would be 2147483695 bytes long; it can hold at most 2147483646", {{"Output/H", "<sparse 2147483647>"}}),
    refused("RepackRefusesAnArchiveOver2GiB", "H,0\r\nH,0\r\n\r\nH,0\r\n", "manifest.txt line 4: with \"H\" (1073741724 "
            "bytes) the new archive would be 3221225284 bytes long; it can hold at most 2147483646",
            {{"Output/H", "<sparse 1073741724>"}}),
};
// clang-format on

class Jobs : public ::testing::TestWithParam<Row> {};

TEST_P(Jobs, GiveTheExactLogErrorAndFiles) {
    const Row& row = GetParam();
    auto key = [](const std::string& name) {
        return name[0] == '/' ? name.substr(1) : "work/" + name;
    };
    Tree before = {{"work/ZRK.NEW", row.job == runRepack ? "old" : "<gone>"}}, after = row.after;
    for (const auto& [name, content] : row.before) {
        before[key(name)] = content;
    }
    std::erase_if(before, [](const auto& item) { return item.second == "<gone>"; });
    test::WorkFolder work;
    if (!work.make(before)) {
        GTEST_SKIP() << "this system cannot make " << row.label << "'s files";
    }
    Tree expected = work.tree();
    after.try_emplace("ZRK.NEW", "<gone>");  // an old one goes, a new one is named
    for (const auto& [name, content] : after) {
        std::string path = key(name);  // with the folders below the work folder it lies in
        for (std::size_t cut = path.find('/', 5); cut != path.npos && name[0] != '/';
             cut = path.find('/', cut + 1)) {
            expected.try_emplace(path.substr(0, cut + 1), "/");
        }
        expected[path] = content;
    }
    std::erase_if(expected, [](const auto& item) { return item.second == "<gone>"; });
    test::RecordingWindow window;
    bool possible = true;
    window.onLog = [&](std::string_view line) {
        possible = (!row.during || row.during(work, line)) && possible;
    };
    std::string error;
    try {
        row.job(window, Folder::open(work.path()));
    } catch (const ToolError& raised) {
        error = raised.what();
    }
    if (!possible) {
        GTEST_SKIP() << "this system cannot do what " << row.label << " needs";
    }
    std::string message = row.error, separator(1, std::filesystem::path::preferred_separator);
    for (auto [name, path] : {std::pair{"<work>", work.path()},
                              {"<Output>", work.path() + "Output" + separator},
                              {"<sep>", separator}}) {
        for (std::size_t at; (at = message.find(name)) != message.npos;) {
            message.replace(at, std::string_view(name).size(), path);
        }
    }
    EXPECT_EQ(error, message);
    EXPECT_EQ(window.lines, row.log);
    EXPECT_EQ(work.tree(), expected);
    auto entries = std::count_if(row.log.begin(), row.log.end(),
                                 [](auto& line) { return line.find("packing ") == 2; });
    // Once per record, per manifest line written (where there is an Output)
    // and per entry.
    int rounds = fs::is_directory(work.native("Output")) ? 3 : 2;
    EXPECT_TRUE(!error.empty() || window.eventRounds == rounds * entries);
}

INSTANTIATE_TEST_SUITE_P(Rows, Jobs, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return info.param.label; });

// Unpack then Repack gives back an archive laid out as Repack lays it out:
// subfolders, code-page letters above 0x7F, names of 19 characters, longer
// names whose cut form keeps their kind, an entry copied in two pieces, and a
// directory, a manifest and a set of folders bigger than the pieces they are
// handled in.
TEST(Jobs, RepackGivesBackWhatUnpackTookApart) {
    const char* patterns[] = {"SND\\TONE%03d.PCM", "\xC9T\xC9\\\xE0%03d.dat",
                              "\x81\xFF\xA0%03d.\xD6L", "LONG%03d\\ABCDEFGHIJKLMNOP.BIN",
                              "\x80\x8A\x9F %03d.PCM"};
    std::vector<test::TestEntry> entries = {{"BIG.BIN", test::pattern(kCopyPiece + 3, 9), 0}};
    for (int i = 0; i < 3000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name,
                      i < 50 ? patterns[i % std::size(patterns)] : "D%03d\\NINETEEN_CHAR",
                      i < 50 ? i : i % 300);
        std::string stored = std::string(name).substr(0, kNameWidth);
        bool pcm = kindForName(stored) == kKindPcm;
        // Same names, same bytes: more small entries than Repack gathers for one write.
        entries.push_back({stored,
                           test::pattern(i < 50 ? 1 + i * 37 % 900 : i % 300, i < 50 ? i : i % 300),
                           pcm ? std::nullopt : std::optional(2147483647 - i)});
    }
    test::WorkFolder work;
    work.write("ZRK.DAT", test::archiveOf(entries));
    test::RecordingWindow window;
    runUnpack(window, Folder::open(work.path()));
    runRepack(window, Folder::open(work.path()));
    EXPECT_EQ(work.read("ZRK.NEW"), work.read("ZRK.DAT"));
    // Once per record, per manifest line and per entry in each job, and between
    // BIG.BIN's two pieces.
    EXPECT_EQ(window.eventRounds, 6 * std::ssize(entries) + 2);
}

// A device name whose last character takes two bytes in the system's code
// page is known too: the name is converted before it is checked. CTest runs
// this case once more under Wine in the Korean code page, 949, where "COM"
// and a superscript 1 are the bytes "COM\xA9\xF6".
TEST(Jobs, UnpackKnowsDeviceNamesInAMultiByteCodePage) {
    const char* locale = std::getenv("LC_ALL");
    if (!kWindows || locale == nullptr || std::string_view(locale) != "ko_KR.UTF-8") {
        GTEST_SKIP() << "for Windows in code page 949";
    }
    test::WorkFolder work;
    work.write("ZRK.DAT", archive({{"COM\xA9\xF6", "c"}, {"A", "a"}}));
    test::RecordingWindow window;
    runUnpack(window, Folder::open(work.path()));
    EXPECT_EQ(window.lines, unpackLog({"COM\xA9\xF6", "A"}, {"COM\xA9\xF6"}));
}

// The longest archive the positions allow is planned (the table holds the
// refusals beyond it).
TEST(Jobs, TheLongestArchiveIsPlanned) {
    test::WorkFolder work;
    std::string longest = std::to_string(kLargestPosition - firstDataPosition(1));
    work.make(
        {{"work/Output/manifest.txt", "BIG,0"}, {"work/Output/BIG", "<sparse " + longest + ">"}});
    test::RecordingWindow window;
    EXPECT_EQ(loadManifest(Folder::open(work.native("Output")), window).entries.at(0).dataLength,
              std::stoi(longest));
}

}  // namespace
}  // namespace zrk
