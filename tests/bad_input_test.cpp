// Hostile archives and manifests in one table. For each: the exact outcome
// (the error's message, or the log of a run that goes on), no crash, nothing
// written outside Output, and nothing written at all where the run refuses
// before writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "archive_builder.h"
#include "archive_format.h"
#include "entry_names.h"
#include "errors.h"
#include "folder.h"
#include "native_path.h"
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
};

Bytes cut(Bytes archive, std::size_t length) {
    archive.resize(length);
    return archive;
}

// Two entries: A.BIN ("abc" at 81 to 83) and B\xE9.BIN ("de" at 84 to 85).
Bytes twoEntries() {
    return ArchiveBuilder()
        .add("A.BIN", test::bytesOf("abc"))
        .add("B\xE9.BIN", test::bytesOf("de"))
        .build();
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

// One one-byte entry per name, holding "a", "b", ... in turn.
Bytes namedEntries(const std::vector<std::string>& names) {
    ArchiveBuilder builder;
    for (std::size_t i = 0; i < names.size(); ++i) {
        builder.add(names[i], {static_cast<std::uint8_t>('a' + i)});
    }
    return builder.build();
}

// The names below that Unpack does not show as stored: control bytes become
// escapes, whose backslash separates folders, so they cannot hide a
// separator; a long name is cut to its field, and a 19-byte name has no
// terminator (the kind byte after it is no part of it).
const std::map<std::string, std::string> kShownAs = {
    {"..\x01", "..\\1"},
    {"\x01\x02", "\\1\\2"},
    {"A\nB.BIN", "A\\10B.BIN"},
    {"TWENTY_SIX_CHARACTERS_LONG", "TWENTY_SIX_CHARACTE"}};

// The run over namedEntries(names) that refuses the names for which `refused`
// holds and writes the others' files below Output, with a manifest listing all.
BadInput namesCase(std::string label, const std::vector<std::string>& names,
                   const std::function<bool(std::size_t)>& refused) {
    std::vector<std::string> shown, refusedNames;
    Tree files = {{"manifest.txt", ""}};
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto special = kShownAs.find(names[i]);
        shown.push_back(special == kShownAs.end() ? names[i] : special->second);
        files[0].second += shown[i] + ",1\r\n";
        if (refused(i)) {
            refusedNames.push_back(shown[i]);
            continue;
        }
        std::string path = windows1252ToUtf8(shown[i]);
        std::replace(path.begin(), path.end(), '\\', '/');
        files.emplace_back(path, std::string(1, static_cast<char>('a' + i)));
    }
    return {std::move(label),
            Job::Unpack,
            namedEntries(names),
            "",
            test::unpackLog(shown, refusedNames),
            files};
}

// Names that would leave Output.
const std::vector<std::string> kLeaving({"..\\UP.BIN", "..\\..\\UP2.BIN", "SUB\\..\\..\\UP3.BIN",
                                         "../UP4.BIN", "SUB\\..\\A.BIN", "\\ROOT.BIN", "/ROOT2.BIN",
                                         "\\\\SERVER\\SHARE", "SUB\\", ".", "",
                                         "SUB\\..\\..\\..\\UP.BIN", "..\x01", "\x01\x02",
                                         "OK.BIN"});

// Names that stay inside Output here; the first nine are refused by the
// Windows rules (devices, ':', parts that Windows cuts to ".." or nothing).
const std::vector<std::string> kOddNames({"CON", "nul.bin", "COM1.PCM", "LPT\xB9", "C:\\A.BIN",
                                          "A.BIN:S", "...\\UP.BIN", ".. \\UP2.BIN", "SUB\\AUX",
                                          "A\nB.BIN", "NINETEEN_CHARACTERS",
                                          "TWENTY_SIX_CHARACTERS_LONG"});
constexpr std::size_t kRefusedOnWindows = 9;

// Found by the archive fuzzer: an entry named manifest.txt replaced the
// manifest that lists every entry.
const std::vector<std::string> kManifestNames = {"manifest.txt", ".\\manifest.txt",
                                                 "SUB\\manifest.txt"};

const std::string kDamaged = "<ZRK.DAT> is damaged: ";
const std::string kLongLine = std::string(70000, 'A') + ",1";

BadInput unpackCase(std::string label, Bytes archive, std::string error,
                    std::vector<std::string> log, std::optional<Tree> output = std::nullopt) {
    return {std::move(label), Job::Unpack,    std::move(archive),
            std::move(error), std::move(log), std::move(output)};
}

// A damaged archive found while reading the header or the directory: nothing
// is written, not even the manifest.
BadInput damagedCase(std::string label, Bytes archive, std::string problem) {
    bool headerRead = archive.size() >= kHeaderSize;
    std::vector<std::string> log;
    if (headerRead) {
        log.push_back("Reading metadata...");
    }
    return unpackCase(std::move(label), std::move(archive), std::move(problem), log);
}

// B's data outside the file: the manifest and A stay, nothing is written for B.
BadInput entry2OutsideCase(std::string label, Bytes archive, const std::string& where) {
    return unpackCase(std::move(label), std::move(archive),
                      kDamaged + "entry 2 \"" + ansiToNative("B\xE9.BIN") + "\" has its " + where +
                          ", but the file holds positions 1 to 85",
                      test::unpackLog({"A.BIN", "B\xE9.BIN"}, {}, false),
                      Tree{{"A.BIN", "abc"}, {"manifest.txt", "A.BIN,3\r\nB\xE9.BIN,2\r\n"}});
}

// Entries that share bytes, with each other or with the header, are copied as
// they say.
BadInput sharedBytesCase(std::string label, Bytes archive, std::string secondData) {
    return unpackCase(std::move(label), std::move(archive), "",
                      test::unpackLog({"A.BIN", "B\xE9.BIN"}),
                      Tree{{"A.BIN", "abc"},
                           {"B\xC3\xA9.BIN", std::move(secondData)},
                           {"manifest.txt", "A.BIN,3\r\nB\xE9.BIN,2\r\n"}});
}

// Every manifest fault ends the run before ZRK.NEW is made.
BadInput repackCase(std::string label, std::string_view manifest, std::string error) {
    return {std::move(label),
            Job::Repack,
            test::bytesOf(manifest),
            std::move(error),
            {"Reading metadata from manifest..."},
            {}};
}

std::vector<BadInput> badInputs() {
    bool windows = hostNameRules() == NameRules::Windows;
    return {
        damagedCase("EmptyArchive", {},
                    kDamaged + "it is 0 bytes long, shorter than its 16-byte header"),
        damagedCase("HeaderCutShort", cut(twoEntries(), 15),
                    kDamaged + "it is 15 bytes long, shorter than its 16-byte header"),
        damagedCase("NoDirectory", cut(twoEntries(), 16),
                    kDamaged + "it ends at position 16, inside directory record 1 (positions 17 "
                               "to 48)"),
        damagedCase("FirstRecordCutShort", cut(twoEntries(), 47),
                    kDamaged + "it ends at position 47, inside directory record 1 (positions 17 "
                               "to 48)"),
        damagedCase("DirectoryCutAfterItsFirstRecord", cut(twoEntries(), 48),
                    kDamaged + "directory record 1 puts the first data byte at position 81, so "
                               "the directory would hold 2 records at positions 17 to 80, but the "
                               "file ends at position 48"),
        damagedCase("DirectoryPastTheEnd", cut(twoEntries(), 79),
                    kDamaged + "directory record 1 puts the first data byte at position 81, so "
                               "the directory would hold 2 records at positions 17 to 80, but the "
                               "file ends at position 79"),
        damagedCase("FirstDataOffsetNear2To31",
                    withField(twoEntries(), 1, kDataOffsetOffset, 2147483647),
                    kDamaged + "directory record 1 puts the first data byte at position "
                               "2147483647, so the directory would hold 67108864 records at "
                               "positions 17 to 2147483664, but the file ends at position 85"),
        damagedCase("DataLengthOf2To31", withField(twoEntries(), 1, kDataLengthOffset, 0x80000000u),
                    "dataLength of directory record 1: the bytes 00 00 00 80 give a value above "
                    "2,147,483,647"),
        damagedCase("DeclaredLengthOf2To32Less1",
                    withField(twoEntries(), 2, kDeclaredLengthOffset, 0xFFFFFFFFu),
                    "declaredLength of directory record 2: the bytes FF FF FF FF give a value "
                    "above 2,147,483,647"),
        damagedCase("DataOffsetOf2To31", withField(twoEntries(), 1, kDataOffsetOffset, 0x80000000u),
                    "dataOffset of directory record 1: the bytes 00 00 00 80 give a value above "
                    "2,147,483,647"),

        entry2OutsideCase("DataPastTheEnd", secondEntryAt(84, 3), "3 bytes at positions 84 to 86"),
        entry2OutsideCase("DataAtPosition0", secondEntryAt(0, 1), "1 bytes at positions 0 to 0"),
        entry2OutsideCase("DataJustAfterTheEnd", secondEntryAt(86, 1),
                          "1 bytes at positions 86 to 86"),
        entry2OutsideCase("OffsetAndLengthNear2To31", secondEntryAt(2147483647, 2147483647),
                          "2147483647 bytes at positions 2147483647 to 4294967293"),
        entry2OutsideCase("LengthNear2To31", secondEntryAt(81, 2147483647),
                          "2147483647 bytes at positions 81 to 2147483727"),

        sharedBytesCase("OverlappingEntries", secondEntryAt(82, 4), "bcde"),
        sharedBytesCase("EntryOverTheHeader", secondEntryAt(1, 12), "ZRK.DAT 1.00"),

        // Names that would leave Output are refused one by one; the run goes on.
        namesCase("NamesLeavingOutput", kLeaving,
                  [](std::size_t i) { return i + 1 < kLeaving.size(); }),
        namesCase("OddNames", kOddNames,
                  [windows](std::size_t i) { return windows && i < kRefusedOnWindows; }),
        namesCase("NamesOfTheManifest", kManifestNames, [](std::size_t i) { return i < 2; }),

        repackCase("LineWithoutAComma", "A.BIN,1\r\nB.BIN\r\n",
                   "manifest.txt line 2: no comma between name and length in \"B.BIN\""),
        repackCase("PcmLineWithoutAComma", "A.PCM\r\n",
                   "manifest.txt line 1: no comma between name and length in \"A.PCM\""),
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
        repackCase("NumberNotWhole", "A.BIN,x1\r\n",
                   "manifest.txt line 1: the length \"x1\" of \"A.BIN\" is not a whole number"),
        repackCase("NumberTooBig", "A.BIN,99999999999\r\n",
                   "manifest.txt line 1: the length \"99999999999\" of \"A.BIN\" is outside "
                   "-2147483648 to 2147483647"),
        repackCase("NegativeNumber", "A.BIN,1\r\nB.BIN,-1\r\n",
                   "manifest.txt line 2: the length -1 of \"B.BIN\" is negative; it must be 0 to "
                   "2147483647"),
        repackCase("NoEntries", "\r\n\n\r\n",
                   "manifest.txt has no entries: <Output\\manifest.txt> holds no line naming a "
                   "file, and an archive needs at least one"),
        repackCase("EmptyManifest", "",
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
        tree.emplace_back(generic, test::textOf(content));
    }
    return tree;
}

void PrintTo(const BadInput& c, std::ostream* out) {
    *out << c.label;
}

class BadInputTest : public ::testing::TestWithParam<BadInput> {
protected:
    BadInputTest() {
        test::writeFileText(work_.parent() / "OUT.BIN", "beside the work folder");
        test::writeFileText(work_.path() / "keep.txt", "beside the archive");
    }

    // Everything under the parent except what lies inside Output.
    Tree outsideOutput() const {
        Tree tree = treeOf(work_.parent());
        std::erase_if(tree,
                      [](const auto& item) { return item.first.starts_with("work/Output/"); });
        return tree;
    }

    // Output's files (not folders) with their text, sorted.
    Tree outputFiles() const {
        Tree tree = treeOf(work_.output());
        std::erase_if(tree, [](const auto& item) { return item.first.ends_with('/'); });
        return tree;
    }

    // Turns each <path> (a path below the work folder, in the archive's form)
    // into the path that the platform shows.
    std::string withWorkFolder(std::string text) const {
        for (std::size_t open = text.find('<'); open != std::string::npos;
             open = text.find('<', open)) {
            std::size_t close = text.find('>', open);
            std::string path =
                work_.workDir() + nativeRelativePath(text.substr(open + 1, close - open - 1));
            text.replace(open, close - open + 1, path);
            open += path.size();
        }
        return text;
    }

    test::WorkFolder work_;
};

TEST_P(BadInputTest, EndsAsExpectedAndWritesNothingItShouldNot) {
    const BadInput& c = GetParam();
    if (c.job == Job::Unpack) {
        test::writeFileBytes(work_.path() / "ZRK.DAT", c.input);
    } else {
        for (const char* name : {"A.BIN", "A.PCM", "B.BIN", "SUB\\X.BIN"}) {
            work_.writeEntry(name, test::bytesOf("x"));
        }
        test::writeFileBytes(work_.output() / "manifest.txt", c.input);
    }
    Tree outside = outsideOutput();
    Tree output = c.job == Job::Repack ? outputFiles() : Tree{};

    test::RecordingWindow window;
    std::string error;
    try {
        if (c.job == Job::Unpack) {
            runUnpack(window, work_.workDir());
        } else {
            runRepack(window, work_.workDir());
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
        EXPECT_FALSE(fs::exists(work_.output()));
    } else {
        Tree expected = *c.output;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(outputFiles(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(HostileArchivesAndManifests, BadInputTest,
                         ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             return info.param.label;
                         });

}  // namespace
}  // namespace zrk
