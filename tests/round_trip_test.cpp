// Unpack then Repack on archives that Repack wrote: unchanged they come back
// byte for byte, and a user's edits to the manifest and the files come out as
// the edited list says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "archive_format.h"
#include "repack_job.h"
#include "test_support.h"
#include "unpack_job.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::Bytes;
using test::endsInPcm;

// One entry as a user sees it: a line of the manifest and the file it names.
struct Item {
    std::string name;  // the archive's single-byte text
    Bytes data;
    std::int32_t declared;  // the manifest's number; PCM entries use the length
};

std::string manifestOf(const std::vector<Item>& items) {
    std::string text;
    for (const Item& item : items) {
        text += item.name + "," + std::to_string(item.declared) + "\r\n";
    }
    return text;
}

// The archive Repack should write for these items, built independently.
Bytes expectedArchive(const std::vector<Item>& items) {
    ArchiveBuilder builder;
    for (const Item& item : items) {
        // A PCM entry's declared length is its length, the builder's default.
        builder.add(item.name, item.data, {},
                    endsInPcm(item.name) ? std::nullopt : std::optional(item.declared));
    }
    return builder.build();
}

std::string numbered(const char* pattern, int number) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, number);
    return text;
}

// Hundreds of non-empty entries with distinct names that Unpack gives back as
// they are: subfolders, Windows-1252 letters above 0x7F (also the unassigned
// 0x81), names of exactly 19 characters, and long names whose cut form keeps
// their kind. Every seventh file is some KiB longer than the rest.
std::vector<Item> mixedItems() {
    const char* patterns[] = {
        "SND\\TONE%03d.PCM",       "MAP\\M%03d.BIN",
        "\xC9T\xC9\\\xE0%03d.dat", "T%03d.pcm",
        "A\\B\\C\\D%03d.X",        "\x81\xFF\xA0%03d.\xD6L",
        "NINETEEN_CHARS__%03d",    "LONG%03d\\ABCDEFGHIJKLMNOP.BIN",
        "\x80\x8A\x9F %03d.PCM",   "D%03d",
    };
    std::vector<Item> items;
    for (int i = 0; i < 300; ++i) {
        std::string name = numbered(patterns[i % std::size(patterns)], i);
        std::size_t length = 1 + static_cast<std::size_t>(i * 37 % 900) + (i % 7 == 0 ? 3000 : 0);
        items.push_back({name, test::patternBytes(length, static_cast<std::uint32_t>(i)), i * 7});
    }
    return items;
}

std::vector<std::string> namesOf(const std::vector<Item>& items) {
    std::vector<std::string> names;
    for (const Item& item : items) {
        names.push_back(item.name);
    }
    return names;
}

class RoundTrip : public ::testing::Test {
protected:
    // Lays the items out as Unpack would have left them: files and manifest in
    // Output.
    static void writeOutput(const test::WorkFolder& folder, const std::vector<Item>& items) {
        for (const Item& item : items) {
            folder.writeEntry(item.name, item.data);
        }
        folder.writeManifest(manifestOf(items));
    }

    void unpack() {
        runUnpack(window, work.workDir());
        ASSERT_EQ(window.lines.back(), "Done!");
    }
    // Runs Repack, checks its log against the manifest's names and gives ZRK.NEW.
    Bytes repack(const test::WorkFolder& folder, const std::vector<Item>& listed) {
        window.lines.clear();
        runRepack(window, folder.workDir());
        EXPECT_EQ(window.lines, test::repackLog(namesOf(listed)));
        return test::readFileBytes(folder.path() / "ZRK.NEW");
    }

    // The starting archive: what Repack writes for the items.
    Bytes startFrom(const std::vector<Item>& items) {
        test::WorkFolder source;
        writeOutput(source, items);
        Bytes archive = repack(source, items);
        EXPECT_EQ(archive, expectedArchive(items));
        test::writeFileBytes(work.path() / "ZRK.DAT", archive);
        return archive;
    }

    test::WorkFolder work;
    test::RecordingWindow window;
};

TEST_F(RoundTrip, AnUnchangedManifestGivesBackTheArchiveByteForByte) {
    std::vector<Item> items = mixedItems();
    Bytes original = startFrom(items);
    unpack();
    // Long names come back cut to 19 characters, and so does the manifest line.
    std::vector<Item> asUnpacked = items;
    for (Item& item : asUnpacked) {
        item.name.resize(std::min(item.name.size(), kNameWidth));
        item.declared =
            endsInPcm(item.name) ? static_cast<std::int32_t>(item.data.size()) : item.declared;
    }
    EXPECT_EQ(work.manifest(), manifestOf(asUnpacked));
    EXPECT_EQ(repack(work, asUnpacked), original);
    // Once more from what the second Repack wrote.
    fs::rename(work.path() / "ZRK.NEW", work.path() / "ZRK.DAT");
    unpack();
    EXPECT_EQ(repack(work, asUnpacked), original);
}

TEST_F(RoundTrip, EditsComeOutAsTheEditedManifestSays) {
    std::vector<Item> items = mixedItems();
    items.resize(120);
    startFrom(items);
    unpack();

    // Reorder (backwards), drop every third line, replace one PCM and one other
    // file with longer ones, and add a line for a new file in a new folder.
    std::vector<Item> edited;
    for (std::size_t i = items.size(); i-- > 0;) {
        if (i % 3 != 1) {
            edited.push_back(items[i]);
        }
    }
    for (Item& item : edited) {
        item.name.resize(std::min(item.name.size(), kNameWidth));  // as Unpack listed them
    }
    auto firstWhosePcmIs = [&](bool pcm) {
        return std::find_if(edited.begin(), edited.end(),
                            [&](const Item& item) { return endsInPcm(item.name) == pcm; });
    };
    // A PCM entry's declared length follows its new file; another keeps its number.
    firstWhosePcmIs(true)->data = test::patternBytes(5000, 91);
    firstWhosePcmIs(false)->data = test::patternBytes(7777, 92);
    edited.push_back({"NEW\\ADDED \xC4.BIN", test::patternBytes(4321, 93), 1234});
    writeOutput(work, edited);

    EXPECT_EQ(repack(work, edited), expectedArchive(edited));
}

}  // namespace
}  // namespace zrk
