#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry_names.h"

namespace zrk {
namespace {

struct NameGroup {
    std::vector<std::string> names;
    bool posix;
    bool windows;
};

void expectEachName(const std::vector<NameGroup>& groups,
                    bool (*check)(std::string_view, NameRules)) {
    for (const NameGroup& group : groups) {
        for (const std::string& name : group.names) {
            EXPECT_EQ(check(name, NameRules::Posix), group.posix) << '"' << name << '"';
            EXPECT_EQ(check(name, NameRules::Windows), group.windows) << '"' << name << '"';
        }
    }
}

TEST(NameStaysInsideOutput, FollowsEachPlatformsRules) {
    expectEachName(
        {
            // Inside Output, also with folders, escapes and names near devices.
            {{"A.PCM", "SUB\\A.PCM", "SUB/DEEP\\A.BIN", "AB\\0C", "SUB\\\\A.BIN", ".\\A.BIN", "A..",
              "..A", "A..B\\C", "CONSOLE", "COM10", "XCON.BIN", "LPT", "COMA"},
             true,
             true},
            // Nothing to name, a folder rather than a file, rooted names and
            // parent-folder parts.
            {{"", ".", "SUB\\", "SUB/", "SUB\\.", "\\ROOT.BIN", "/ROOT.BIN", "\\\\SERVER\\SHARE",
              "..", "..\\UP.BIN", "../UP.BIN", "SUB\\..\\..\\UP.BIN", "SUB\\..\\A.BIN", "SUB\\..",
              std::string("A\0B", 3)},
             false,
             false},
            // Drives and streams, characters no Windows file name holds, parts
            // that Windows shortens to ".." or nothing, and devices in any case, with extensions,
            // trailing dots or spaces, at any level.
            {{"A?.BIN",      "SUB*\\A.BIN",   "A<B>\"|.BIN", "C:\\A.BIN",
              "C:A.BIN",     "A.BIN:HIDDEN",  ".. \\UP.BIN", "...\\UP.BIN",
              "SUB\\. .",    "SUB\\ \\A.BIN", "CON",         "con.txt",
              "Prn.",        "AUX  ",         "NUL .BIN",    "SUB\\NUL\\A.BIN",
              "COM1",        "com9.pcm",      "LPT0",        "LPT\xB9",
              "COM\xB3.BIN", "CONIN$",        "conout$.x"},
             true,
             false},
        },
        nameStaysInsideOutput);
}

TEST(NameIsTheManifest, CatchesEverySpellingOfTheManifestsFile) {
    expectEachName(
        {{{"manifest.txt", ".\\manifest.txt", "./\\manifest.txt"}, true, true},
         {{"MANIFEST.TXT", "Manifest.Txt. .", "manifest.txt "}, false, true},
         {{"SUB\\manifest.txt", "manifest.txt\\A.BIN", "manifest.tx", "xmanifest.txt", ""},
          false,
          false}},
        nameIsTheManifest);
}

}  // namespace
}  // namespace zrk
