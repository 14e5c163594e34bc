// Runs the built repack program in a fresh folder, as a user would.
#include <gtest/gtest.h>

#include <filesystem>

#include "program_runner.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

test::ProgramResult runRepackProgramIn(const test::TempFolder& work) {
    return test::runProgram(REPACK_PROGRAM, work.path());
}

TEST(RepackProgram, BuildsTheNewArchiveInTheCurrentFolder) {
    test::TempFolder work;
    test::writeFileText(work.path() / "Output" / "\xc3\xa9.BIN", "0123456789");
    test::writeFileText(work.path() / "Output" / "manifest.txt", "\xe9.BIN,10\r\n");
    test::ProgramResult outcome = runRepackProgramIn(work);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.standardOutput,
              "Reading metadata from manifest...\nWriting metadata...\n"
              "Repacking \xc3\xa9.BIN...\nDone!\n");
    EXPECT_EQ(outcome.standardError, "");
    Bytes expected = {'Z', 'R',  'K', '.', 'D', 'A', 'T', ' ', '1', '.', '0', '0', 0,  0, 0,
                      0,   0xE9, '.', 'B', 'I', 'N', 0,   0,   0,   0,   0,   0,   0,  0, 0,
                      0,   0,    0,   0,   0,   1,   10,  0,   0,   0,   10,  0,   0,  0, 49,
                      0,   0,    0,   '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(test::readFileBytes(work.path() / "ZRK.NEW"), expected);
}

TEST(RepackProgram, SaysSoWhenThereIsNoManifest) {
    test::TempFolder work;
    test::writeFileText(work.path() / "ZRK.NEW", "old");
    test::ProgramResult outcome = runRepackProgramIn(work);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.standardOutput, "Manifest file not found!\n");
    EXPECT_EQ(outcome.standardError, "");
    EXPECT_FALSE(fs::exists(work.path() / "ZRK.NEW"));
}

TEST(RepackProgram, ReportsABadManifestAndFailsWithoutWriting) {
    test::TempFolder work;
    test::writeFileText(work.path() / "Output" / "A.BIN", "a");
    test::writeFileText(work.path() / "Output" / "manifest.txt", "A.BIN,1\r\nA.BIN,-4\r\n");
    test::ProgramResult outcome = runRepackProgramIn(work);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.standardOutput, "Reading metadata from manifest...\n");
    EXPECT_TRUE(outcome.standardError.starts_with("error: manifest.txt line 2: "))
        << outcome.standardError;
    EXPECT_FALSE(fs::exists(work.path() / "ZRK.NEW"));
}

}  // namespace
}  // namespace zrk
