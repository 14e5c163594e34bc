// Runs the built programs in a fresh folder, as a user would: the log goes to
// standard output, an error that ends the run to standard error with exit
// code 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "ansi_text.h"
#include "archive_builder.h"
#include "program_runner.h"
#include "test_support.h"

namespace zrk {
namespace {

using test::ArchiveBuilder;
using test::bytesOf;

// The log as the console shows it: one UTF-8 line each.
std::string shown(const std::vector<std::string>& log) {
    std::string text;
    for (const std::string& line : log) {
        text += windows1252ToUtf8(line) + "\n";
    }
    return text;
}

TEST(Programs, UnpackExtractsInItsCurrentFolderAndLogsToStandardOutput) {
    test::WorkFolder work;
    test::writeFileBytes(work.path() / "ZRK.DAT", ArchiveBuilder()
                                                      .add("A.PCM", test::patternBytes(300, 1))
                                                      .add("SUB\\B.BIN", bytesOf("bee"))
                                                      .build());
    test::ProgramResult result = test::runProgram(UNPACK_PROGRAM, work.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput, shown(test::unpackLog({"A.PCM", "SUB\\B.BIN"})));
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(work.readEntry("A.PCM"), test::patternBytes(300, 1));
    EXPECT_EQ(work.readEntry("SUB\\B.BIN"), bytesOf("bee"));
    EXPECT_EQ(work.manifest(), "A.PCM,300\r\nSUB\\B.BIN,3\r\n");
}

TEST(Programs, UnpackEndsADamagedArchiveWithAnErrorNamingTheEntry) {
    test::WorkFolder work;
    auto archive = ArchiveBuilder().add("\xC4.BIN", bytesOf("abc")).build();
    archive.pop_back();
    test::writeFileBytes(work.path() / "ZRK.DAT", archive);
    test::ProgramResult result = test::runProgram(UNPACK_PROGRAM, work.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput, shown(test::unpackLog({"\xC4.BIN"}, {}, false)));
    EXPECT_TRUE(result.standardError.starts_with("error: ")) << result.standardError;
    EXPECT_NE(result.standardError.find("entry 1 \"\xC3\x84.BIN\" has its 3 bytes at positions 49 "
                                        "to 51, but the file holds positions 1 to 50"),
              std::string::npos)
        << result.standardError;
}

TEST(Programs, RepackBuildsTheNewArchiveInTheCurrentFolder) {
    test::WorkFolder work;
    work.writeEntry("\xe9.BIN", bytesOf("0123456789"));
    work.writeManifest("\xe9.BIN,10\r\n");
    test::ProgramResult result = test::runProgram(REPACK_PROGRAM, work.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput, shown(test::repackLog({"\xe9.BIN"})));
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(test::readFileBytes(work.path() / "ZRK.NEW"),
              ArchiveBuilder().add("\xe9.BIN", bytesOf("0123456789")).build());
}

TEST(Programs, RepackReportsABadManifestAndFailsWithoutWriting) {
    test::WorkFolder work;
    work.writeEntry("A.BIN", bytesOf("a"));
    work.writeManifest("A.BIN,1\r\nA.BIN,-4\r\n");
    test::ProgramResult result = test::runProgram(REPACK_PROGRAM, work.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput, "Reading metadata from manifest...\n");
    EXPECT_TRUE(result.standardError.starts_with("error: manifest.txt line 2: "))
        << result.standardError;
    EXPECT_FALSE(std::filesystem::exists(work.path() / "ZRK.NEW"));
}

}  // namespace
}  // namespace zrk
