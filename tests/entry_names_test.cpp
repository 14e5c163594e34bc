#include <gtest/gtest.h>

#include <string>

#include "entry_names.h"

namespace zrk {
namespace {

struct NameCase {
    std::string name;
    bool posix;
    bool windows;
};

const NameCase kNameCases[] = {
    // Names that stay inside Output, also with folders and escapes.
    {"A.PCM", true, true},
    {"SUB\\A.PCM", true, true},
    {"SUB/DEEP\\A.BIN", true, true},
    {"AB\\0C", true, true},
    {"SUB\\\\A.BIN", true, true},
    {".\\A.BIN", true, true},
    {"A..", true, true},
    {"..A", true, true},
    {"A..B\\C", true, true},
    {"CONSOLE", true, true},
    {"COM10", true, true},
    {"XCON.BIN", true, true},
    {"LPT", true, true},
    {"COMA", true, true},
    // Nothing to name, or a folder rather than a file.
    {"", false, false},
    {".", false, false},
    {"SUB\\", false, false},
    {"SUB/", false, false},
    {"SUB\\.", false, false},
    // Rooted names and parent-folder parts.
    {"\\ROOT.BIN", false, false},
    {"/ROOT.BIN", false, false},
    {"\\\\SERVER\\SHARE", false, false},
    {"..", false, false},
    {"..\\UP.BIN", false, false},
    {"../UP.BIN", false, false},
    {"SUB\\..\\..\\UP.BIN", false, false},
    {"SUB\\..\\A.BIN", false, false},
    {"SUB\\..", false, false},
    {std::string("A\0B", 3), false, false},
    // Drives and streams, and parts that Windows shortens to ".." or nothing.
    {"C:\\A.BIN", true, false},
    {"C:A.BIN", true, false},
    {"A.BIN:HIDDEN", true, false},
    // Characters no Windows file name holds.
    {"A?.BIN", true, false},
    {"SUB*\\A.BIN", true, false},
    {"A<B>\"|.BIN", true, false},
    {".. \\UP.BIN", true, false},
    {"...\\UP.BIN", true, false},
    {"SUB\\. .", true, false},
    {"SUB\\ \\A.BIN", true, false},
    // Devices, in any case, with extensions, trailing dots or spaces, at any level.
    {"CON", true, false},
    {"con.txt", true, false},
    {"Prn.", true, false},
    {"AUX  ", true, false},
    {"NUL .BIN", true, false},
    {"SUB\\NUL\\A.BIN", true, false},
    {"COM1", true, false},
    {"com9.pcm", true, false},
    {"LPT0", true, false},
    {"LPT\xB9", true, false},
    {"COM\xB3.BIN", true, false},
    {"CONIN$", true, false},
    {"conout$.x", true, false},
};

TEST(NameStaysInsideOutput, FollowsEachPlatformsRules) {
    for (const NameCase& c : kNameCases) {
        EXPECT_EQ(nameStaysInsideOutput(c.name, NameRules::Posix), c.posix) << '"' << c.name << '"';
        EXPECT_EQ(nameStaysInsideOutput(c.name, NameRules::Windows), c.windows)
            << '"' << c.name << '"';
    }
}

TEST(NameIsTheManifest, CatchesEverySpellingOfTheManifestsFile) {
    const NameCase cases[] = {
        {"manifest.txt", true, true},
        {".\\manifest.txt", true, true},
        {"./\\manifest.txt", true, true},
        {"MANIFEST.TXT", false, true},
        {"Manifest.Txt. .", false, true},
        {"manifest.txt ", false, true},
        {"SUB\\manifest.txt", false, false},
        {"manifest.txt\\A.BIN", false, false},
        {"manifest.tx", false, false},
        {"xmanifest.txt", false, false},
        {"", false, false},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(nameIsTheManifest(c.name, NameRules::Posix), c.posix) << '"' << c.name << '"';
        EXPECT_EQ(nameIsTheManifest(c.name, NameRules::Windows), c.windows) << '"' << c.name << '"';
    }
}

}  // namespace
}  // namespace zrk
