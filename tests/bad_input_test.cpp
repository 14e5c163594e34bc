// Hostile archives and manifests in one table. For each: the exact outcome
// (the error's message, or the log of a run that goes on), no crash, nothing
// written outside Output, and nothing written at all where the run refuses
// before writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "archive_builder.h"
#include "archive_format.h"
#include "entry_names.h"
#include "errors.h"
#include "file_system.h"
#include "repack_job.h"
#include "test_support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::Bytes;
using Tree = std::vector<std::pair<std::string, std::string>>;

enum class Job { Unpack, Repack };

struct BadInput {
    std::string label;
    Job job;
    Bytes input;  // ZRK.DAT for Unpack, Output's manifest.txt for Repack
    // The message of the error that ends the run, with paths below the work
    // folder in angle brackets; empty when the run ends normally.
    std::string error;
    std::vector<std::string> log;
    // Output's files and their contents afterwards, named in UTF-8 as
    // snapshotTree gives them; nothing when Output must not exist. Repack
    // never changes Output.
    std::optional<Tree> output;
    // Entry names that the Windows rules must refuse (the jobs use the host's).
    std::vector<std::string> refusedOnWindows;
};

Bytes bytes(std::string_view text) {
    return test::bytesOf(text);
}

Bytes cut(Bytes archive, std::size_t length) {
    archive.resize(length);
    return archive;
}

// Two entries: A.BIN ("abc" at 81 to 83) and B\xE9.BIN ("de" at 84 to 85).
Bytes twoEntries() {
    return ArchiveBuilder().add("A.BIN", bytes("abc")).add("B\xE9.BIN", bytes("de")).build();
}

Bytes withField(Bytes archive, std::int64_t record, std::size_t field, std::uint32_t value) {
    test::setRecordField(archive, record, field, value);
    return archive;
}

// B's data moved and resized.
Bytes secondEntryAt(std::uint32_t dataOffset, std::uint32_t dataLength) {
    return withField(withField(twoEntries(), 2, kDataOffsetOffset, dataOffset), 2,
                     kDataLengthOffset, dataLength);
}

// The one byte of the entry at `index` (from 0) of namedEntries.
std::string byteOf(std::size_t index) {
    return std::string(1, static_cast<char>('a' + index));
}

// One one-byte entry per name ("a", "b", ...), names stored as given.
Bytes namedEntries(const std::vector<std::string>& names) {
    ArchiveBuilder builder;
    for (std::size_t i = 0; i < names.size(); ++i) {
        builder.add(names[i], bytes(byteOf(i)));
    }
    return builder.build();
}

std::vector<std::string> unpackStart() {
    return {"Reading metadata...", "Writing manifest file..."};
}

// The log of an Unpack run over entries of these names (as shown) that cannot
// write the ones in `refused`; `done` when the run gets to its end.
std::vector<std::string> unpackLog(const std::vector<std::string>& names,
                                   const std::vector<std::string>& refused, bool done = true) {
    std::vector<std::string> log = unpackStart();
    for (const std::string& name : names) {
        log.push_back("Unpacking " + name + "...");
        if (std::find(refused.begin(), refused.end(), name) != refused.end()) {
            log.push_back("Unable to write " + name + "!");
        }
    }
    if (done) {
        log.push_back("Done!");
    }
    return log;
}

// Each name with the length 1, as Unpack lists one-byte entries.
std::string manifestOf(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += name + ",1\r\n";
    }
    return text;
}

const std::string kHeaderLog = "Reading metadata...";
const std::vector<std::string> kLoadLog = {"Reading metadata from manifest..."};
const std::string kDamaged = "<ZRK.DAT> is damaged: ";
const std::vector<std::string> kTwoNames = {"A.BIN", "B\xE9.BIN"};
const Tree kOnlyFirst = {{"A.BIN", "abc"}, {"manifest.txt", "A.BIN,3\r\nB\xE9.BIN,2\r\n"}};

std::string entry2Outside(const std::string& where) {
    return kDamaged + "entry 2 \"" + ansiToNative("B\xE9.BIN") + "\" has its " + where +
           ", but the file holds positions 1 to 85";
}

// Names that would leave Output, as stored and as Unpack shows them. Control
// bytes become escapes whose backslash separates folders, so they cannot hide
// a separator; a 19-byte name has no terminator and the kind byte after it is
// no part of it.
const std::vector<std::string> kLeaving = {"..\\UP.BIN",
                                           "..\\..\\UP2.BIN",
                                           "SUB\\..\\..\\UP3.BIN",
                                           "../UP4.BIN",
                                           "SUB\\..\\A.BIN",
                                           "\\ROOT.BIN",
                                           "/ROOT2.BIN",
                                           "\\\\SERVER\\SHARE",
                                           "SUB\\",
                                           ".",
                                           "",
                                           "SUB\\..\\..\\..\\UP.BIN",
                                           std::string("..\x01", 3),
                                           std::string("\x01\x02", 2),
                                           "OK.BIN"};
const std::vector<std::string> kLeavingShown = {"..\\UP.BIN",
                                                "..\\..\\UP2.BIN",
                                                "SUB\\..\\..\\UP3.BIN",
                                                "../UP4.BIN",
                                                "SUB\\..\\A.BIN",
                                                "\\ROOT.BIN",
                                                "/ROOT2.BIN",
                                                "\\\\SERVER\\SHARE",
                                                "SUB\\",
                                                ".",
                                                "",
                                                "SUB\\..\\..\\..\\UP.BIN",
                                                "..\\1",
                                                "\\1\\2",
                                                "OK.BIN"};

// Names that stay inside Output here; all but the last three are refused by
// the Windows rules (devices, ':', parts that Windows cuts to ".." or nothing).
const std::vector<std::string> kOddNames = {"CON",
                                            "nul.bin",
                                            "COM1.PCM",
                                            "LPT\xB9",
                                            "C:\\A.BIN",
                                            "A.BIN:S",
                                            "...\\UP.BIN",
                                            ".. \\UP2.BIN",
                                            "SUB\\AUX",
                                            "A\nB.BIN",
                                            "NINETEEN_CHARACTERS",
                                            "TWENTY_SIX_CHARACTERS_LONG"};
const std::vector<std::string> kOddShown = {"CON",
                                            "nul.bin",
                                            "COM1.PCM",
                                            "LPT\xB9",
                                            "C:\\A.BIN",
                                            "A.BIN:S",
                                            "...\\UP.BIN",
                                            ".. \\UP2.BIN",
                                            "SUB\\AUX",
                                            "A\\10B.BIN",
                                            "NINETEEN_CHARACTERS",
                                            "TWENTY_SIX_CHARACTE"};
const Tree kOddFiles = {{"CON", "a"},
                        {"nul.bin", "b"},
                        {"COM1.PCM", "c"},
                        {"LPT\xC2\xB9", "d"},
                        {"C:/A.BIN", "e"},
                        {"A.BIN:S", "f"},
                        {".../UP.BIN", "g"},
                        {".. /UP2.BIN", "h"},
                        {"SUB/AUX", "i"},
                        {"A/10B.BIN", "j"},
                        {"NINETEEN_CHARACTERS", "k"},
                        {"TWENTY_SIX_CHARACTE", "l"},
                        {"manifest.txt", manifestOf(kOddShown)}};

const std::string kLongLine = std::string(70000, 'A') + ",1";

BadInput unpackCase(std::string label, Bytes archive, std::string error,
                    std::vector<std::string> log, std::optional<Tree> output) {
    return {std::move(label),  Job::Unpack, std::move(archive), std::move(error), std::move(log),
            std::move(output), {}};
}

// Every manifest fault ends the run before ZRK.NEW is made.
BadInput repackCase(std::string label, std::string_view manifest, std::string error) {
    return {std::move(label), Job::Repack, bytes(manifest), std::move(error), kLoadLog, {}, {}};
}

// Devices, ':', trailing dots and spaces, control bytes and unterminated
// names: the first nine are refused under the Windows rules, and are files
// inside Output under the POSIX rules.
BadInput oddNames() {
    constexpr std::size_t kWindowsRefuses = 9;
    std::vector<std::string> refused;
    Tree files = kOddFiles;
    if (hostNameRules() == NameRules::Windows) {
        refused.assign(kOddShown.begin(), kOddShown.begin() + kWindowsRefuses);
        files.erase(files.begin(), files.begin() + kWindowsRefuses);
    }
    return {"OddNames",
            Job::Unpack,
            namedEntries(kOddNames),
            "",
            unpackLog(kOddShown, refused),
            files,
            {kOddNames.begin(), kOddNames.begin() + kWindowsRefuses}};
}

std::vector<BadInput> badInputs() {
    return {
        // Archives cut short: nothing is written, not even the manifest.
        unpackCase("EmptyArchive", {},
                   kDamaged + "it is 0 bytes long, shorter than its 16-byte header", {},
                   std::nullopt),
        unpackCase("HeaderCutShort", cut(twoEntries(), 15),
                   kDamaged + "it is 15 bytes long, shorter than its 16-byte header", {},
                   std::nullopt),
        unpackCase("NoDirectory", cut(twoEntries(), 16),
                   kDamaged + "it ends at position 16, inside directory record 1 (positions 17 "
                              "to 48)",
                   {kHeaderLog}, std::nullopt),
        unpackCase("FirstRecordCutShort", cut(twoEntries(), 47),
                   kDamaged + "it ends at position 47, inside directory record 1 (positions 17 "
                              "to 48)",
                   {kHeaderLog}, std::nullopt),
        unpackCase("DirectoryCutAfterItsFirstRecord", cut(twoEntries(), 48),
                   kDamaged + "directory record 1 puts the first data byte at position 81, so the "
                              "directory would hold 2 records at positions 17 to 80, but the file "
                              "ends at position 48",
                   {kHeaderLog}, std::nullopt),
        unpackCase("DirectoryPastTheEnd", cut(twoEntries(), 79),
                   kDamaged + "directory record 1 puts the first data byte at position 81, so the "
                              "directory would hold 2 records at positions 17 to 80, but the file "
                              "ends at position 79",
                   {kHeaderLog}, std::nullopt),
        unpackCase("FirstDataOffsetNear2To31",
                   withField(twoEntries(), 1, kDataOffsetOffset, 2147483647),
                   kDamaged + "directory record 1 puts the first data byte at position 2147483647, "
                              "so the directory would hold 67108864 records at positions 17 to "
                              "2147483664, but the file ends at position 85",
                   {kHeaderLog}, std::nullopt),
        unpackCase("DataLengthOf2To31", withField(twoEntries(), 1, kDataLengthOffset, 0x80000000u),
                   "dataLength of directory record 1: the bytes 00 00 00 80 give a value above "
                   "2,147,483,647",
                   {kHeaderLog}, std::nullopt),
        unpackCase("DeclaredLengthOf2To32Less1",
                   withField(twoEntries(), 2, kDeclaredLengthOffset, 0xFFFFFFFFu),
                   "declaredLength of directory record 2: the bytes FF FF FF FF give a value above "
                   "2,147,483,647",
                   {kHeaderLog}, std::nullopt),
        unpackCase("DataOffsetOf2To31", withField(twoEntries(), 1, kDataOffsetOffset, 0x80000000u),
                   "dataOffset of directory record 1: the bytes 00 00 00 80 give a value above "
                   "2,147,483,647",
                   {kHeaderLog}, std::nullopt),

        // Data outside the file: the manifest and the entries before stay, and
        // nothing is written for the entry.
        unpackCase("DataPastTheEnd", secondEntryAt(84, 3),
                   entry2Outside("3 bytes at positions 84 to 86"), unpackLog(kTwoNames, {}, false),
                   kOnlyFirst),
        unpackCase("DataAtPosition0", secondEntryAt(0, 1),
                   entry2Outside("1 bytes at positions 0 to 0"), unpackLog(kTwoNames, {}, false),
                   kOnlyFirst),
        unpackCase("DataJustAfterTheEnd", secondEntryAt(86, 1),
                   entry2Outside("1 bytes at positions 86 to 86"), unpackLog(kTwoNames, {}, false),
                   kOnlyFirst),
        unpackCase("OffsetAndLengthNear2To31", secondEntryAt(2147483647, 2147483647),
                   entry2Outside("2147483647 bytes at positions 2147483647 to 4294967293"),
                   unpackLog(kTwoNames, {}, false), kOnlyFirst),
        unpackCase("LengthNear2To31", secondEntryAt(81, 2147483647),
                   entry2Outside("2147483647 bytes at positions 81 to 2147483727"),
                   unpackLog(kTwoNames, {}, false), kOnlyFirst),

        // Entries that share bytes, with each other or with the header, are
        // copied as they say.
        unpackCase("OverlappingEntries", secondEntryAt(82, 4), "", unpackLog(kTwoNames, {}),
                   Tree{{"A.BIN", "abc"},
                        {"B\xC3\xA9.BIN", "bcde"},
                        {"manifest.txt", "A.BIN,3\r\nB\xE9.BIN,2\r\n"}}),
        unpackCase("EntryOverTheHeader", secondEntryAt(1, 12), "", unpackLog(kTwoNames, {}),
                   Tree{{"A.BIN", "abc"},
                        {"B\xC3\xA9.BIN", "ZRK.DAT 1.00"},
                        {"manifest.txt", "A.BIN,3\r\nB\xE9.BIN,2\r\n"}}),

        // Names that would leave Output are refused one by one; the run goes on.
        unpackCase("NamesLeavingOutput", namedEntries(kLeaving), "",
                   unpackLog(kLeavingShown, {kLeavingShown.begin(), kLeavingShown.end() - 1}),
                   Tree{{"OK.BIN", byteOf(kLeaving.size() - 1)},
                        {"manifest.txt", manifestOf(kLeavingShown)}}),
        oddNames(),

        // Manifests.
        repackCase("LineWithoutAComma", "A.BIN,1\r\nB.BIN\r\n",
                   "manifest.txt line 2: no comma between name and length in \"B.BIN\""),
        repackCase("BinaryLine", std::string("A.BIN,1\r\n") + '\0' + "\x01\xFF\x1B[2J\r\n",
                   "manifest.txt line 2: no comma between name and length in \"\\0\\1" +
                       ansiToNative("\xFF") + "\\27[2J\""),
        repackCase("BinaryNumber", "A.BIN,\x01\x02\r\n",
                   "manifest.txt line 1: the length \"\\1\\2\" of \"A.BIN\" is not a whole number"),
        repackCase("ZeroByteInAName", std::string_view("A.BIN\0B,1\r\n", 11),
                   "manifest.txt line 1: the name \"A.BIN\" is followed by a zero byte, which no "
                   "file name can hold"),
        repackCase("HugeLine", kLongLine + "\r\n",
                   "manifest.txt line 1 is longer than 65536 bytes"),
        repackCase("HugeLastLineWithoutEnd", "A.BIN,1\r\n\r\n" + kLongLine,
                   "manifest.txt line 3 is longer than 65536 bytes"),
        repackCase("ParentFolder", "A.BIN,1\r\n..\\OUT.BIN,1\r\n",
                   "manifest.txt line 2: the name \"..\\OUT.BIN\" cannot stand for a file inside "
                   "the Output folder"),
        repackCase("ParentFolderDeeper", "SUB\\..\\..\\OUT.BIN,1\r\n",
                   "manifest.txt line 1: the name \"SUB\\..\\..\\OUT.BIN\" cannot stand for a file "
                   "inside the "
                   "Output folder"),
        repackCase("ParentFolderWithSpace", "SUB/.. /../OUT.BIN,1\r\n",
                   "manifest.txt line 1: the name \"SUB/.. /../OUT.BIN\" cannot stand for a file "
                   "inside the Output "
                   "folder"),
        repackCase("RootedName", "/OUT.BIN,1\r\n",
                   "manifest.txt line 1: the name \"/OUT.BIN\" cannot stand for a file inside the "
                   "Output folder"),
        repackCase("MissingFile", "A.BIN,1\r\n\r\nGONE.BIN,1\r\n",
                   "manifest.txt line 3: <Output\\GONE.BIN> is missing or not a plain file"),
        repackCase("Folder", "SUB,1\r\n",
                   "manifest.txt line 1: <Output\\SUB> is a folder, not a file"),
        repackCase("EmptyName", " ,1\r\n",
                   "manifest.txt line 1: the name before the comma is empty"),
        repackCase("NumberTooBig", "A.BIN,99999999999\r\n",
                   "manifest.txt line 1: the length \"99999999999\" of \"A.BIN\" is outside "
                   "-2147483648 to 2147483647"),
        repackCase("NegativeNumber", "A.BIN,1\r\nB.BIN,-1\r\n",
                   "manifest.txt line 2: the length -1 of \"B.BIN\" is negative; it must be 0 to "
                   "2147483647"),
        repackCase("NoEntries", "\r\n\n\r\n",
                   "manifest.txt has no entries: <Output\\manifest.txt> holds no line naming a "
                   "file, and an archive needs at least one"),
    };
}

// The files and folders below `root` (folders end in '/') with their
// contents, paths written with '/' on every platform.
Tree treeOf(const fs::path& root) {
    Tree tree;
    for (auto& [path, content] : test::snapshotTree(root)) {
        std::string generic = path;
        std::replace(generic.begin(), generic.end(), '\\', '/');
        tree.emplace_back(generic, std::string(content.begin(), content.end()));
    }
    return tree;
}

void PrintTo(const BadInput& c, std::ostream* out) {
    *out << c.label;
}

// A work folder inside a parent folder, so that a check sees everything a run
// might touch.
class BadInputTest : public ::testing::TestWithParam<BadInput> {
protected:
    BadInputTest() {
        fs::create_directory(work());
        test::writeFileText(parent_.path() / "OUT.BIN", "beside the work folder");
        test::writeFileText(work() / "keep.txt", "beside the archive");
    }

    fs::path work() const { return parent_.path() / "work"; }
    std::string workDir() const { return (work() / "").string(); }

    // Everything under the parent except what lies inside Output.
    Tree outsideOutput() const {
        Tree tree = treeOf(parent_.path());
        std::erase_if(tree,
                      [](const auto& item) { return item.first.starts_with("work/Output/"); });
        return tree;
    }

    // Output's files (not folders) with their text, sorted.
    Tree outputFiles() const {
        Tree tree = treeOf(work() / "Output");
        std::erase_if(tree, [](const auto& item) { return item.first.ends_with('/'); });
        return tree;
    }

    // Files for the manifests to name.
    void writeEntryFiles() const {
        test::writeFileText(work() / "Output" / "A.BIN", "a");
        test::writeFileText(work() / "Output" / "B.BIN", "b");
        test::writeFileText(work() / "Output" / "SUB" / "X.BIN", "x");
    }

    // Turns each <path> (a path below the work folder, in the archive's form)
    // into the path that the platform shows.
    std::string withWorkFolder(std::string text) const {
        for (std::size_t open = text.find('<'); open != std::string::npos;
             open = text.find('<', open)) {
            std::size_t close = text.find('>', open);
            std::string path = nativeChildPath(workDir(), text.substr(open + 1, close - open - 1));
            text.replace(open, close - open + 1, path);
            open += path.size();
        }
        return text;
    }

    test::TempFolder parent_;
};

TEST_P(BadInputTest, EndsAsExpectedAndWritesNothingItShouldNot) {
    const BadInput& c = GetParam();
    if (c.job == Job::Unpack) {
        test::writeFileBytes(work() / "ZRK.DAT", c.input);
    } else {
        writeEntryFiles();
        test::writeFileBytes(work() / "Output" / "manifest.txt", c.input);
    }
    Tree outside = outsideOutput();
    Tree output = c.job == Job::Repack ? outputFiles() : Tree{};

    test::RecordingWindow window;
    std::string error;
    try {
        if (c.job == Job::Unpack) {
            runUnpack(window, workDir());
        } else {
            runRepack(window, workDir());
        }
    } catch (const ToolError& caught) {
        error = caught.what();
    }

    EXPECT_EQ(error, withWorkFolder(c.error));
    EXPECT_EQ(window.lines, c.log);
    EXPECT_EQ(outsideOutput(), outside);  // for Repack: no ZRK.NEW either
    if (c.job == Job::Repack) {
        EXPECT_EQ(outputFiles(), output);
    } else if (!c.output) {
        EXPECT_FALSE(fs::exists(work() / "Output"));
    } else {
        Tree expected = *c.output;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(outputFiles(), expected);
    }
    for (const std::string& name : c.refusedOnWindows) {
        EXPECT_FALSE(nameStaysInsideOutput(name, NameRules::Windows)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(HostileArchivesAndManifests, BadInputTest,
                         ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             return info.param.label;
                         });

}  // namespace
}  // namespace zrk
