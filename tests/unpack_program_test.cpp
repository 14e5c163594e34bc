#include <gtest/gtest.h>

#include "archive_builder.h"
#include "program_runner.h"
#include "test_support.h"

namespace zrk {
namespace {

using test::ArchiveBuilder;

TEST(UnpackProgram, ExtractsInItsCurrentFolderAndLogsToStandardOutput) {
    test::TempFolder temp;
    test::writeFileBytes(temp.path() / "ZRK.DAT", ArchiveBuilder()
                                                      .add("A.PCM", test::patternBytes(300, 1))
                                                      .add("SUB\\B.BIN", test::bytesOf("bee"))
                                                      .build());
    test::ProgramResult result = test::runProgram(UNPACK_PROGRAM, temp.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput,
              "Reading metadata...\nWriting manifest file...\nUnpacking A.PCM...\n"
              "Unpacking SUB\\B.BIN...\nDone!\n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(test::readFileBytes(temp.path() / "Output" / "A.PCM"), test::patternBytes(300, 1));
    EXPECT_EQ(test::readFileText(temp.path() / "Output" / "SUB" / "B.BIN"), "bee");
    EXPECT_EQ(test::readFileText(temp.path() / "Output" / "manifest.txt"),
              "A.PCM,300\r\nSUB\\B.BIN,3\r\n");
}

TEST(UnpackProgram, WithoutAnArchiveSaysSoAndEndsNormally) {
    test::TempFolder temp;
    test::ProgramResult result = test::runProgram(UNPACK_PROGRAM, temp.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput, "ZRK.DAT not found!\n");
    EXPECT_EQ(result.standardError, "");
}

TEST(UnpackProgram, ADamagedArchiveEndsWithAnErrorNamingTheEntry) {
    test::TempFolder temp;
    auto archive = ArchiveBuilder().add("\xC4.BIN", test::bytesOf("abc")).build();
    archive.pop_back();
    test::writeFileBytes(temp.path() / "ZRK.DAT", archive);
    test::ProgramResult result = test::runProgram(UNPACK_PROGRAM, temp.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput,
              "Reading metadata...\nWriting manifest file...\nUnpacking \xC3\x84.BIN...\n");
    EXPECT_TRUE(result.standardError.starts_with("error: ")) << result.standardError;
    EXPECT_NE(result.standardError.find("entry 1 \"\xC3\x84.BIN\" has its 3 bytes at positions 49 "
                                        "to 51, but the file holds positions 1 to 50"),
              std::string::npos)
        << result.standardError;
}

TEST(UnpackProgram, RefusesANameLeavingOutputAndGoesOn) {
    test::TempFolder temp;
    test::writeFileBytes(temp.path() / "ZRK.DAT", ArchiveBuilder()
                                                      .add("..\\UP.BIN", test::bytesOf("x"))
                                                      .add("OK.BIN", test::bytesOf("y"))
                                                      .build());
    test::ProgramResult result = test::runProgram(UNPACK_PROGRAM, temp.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput,
              "Reading metadata...\nWriting manifest file...\nUnpacking ..\\UP.BIN...\n"
              "Unable to write ..\\UP.BIN!\nUnpacking OK.BIN...\nDone!\n");
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "UP.BIN"));
    EXPECT_EQ(test::readFileText(temp.path() / "Output" / "OK.BIN"), "y");
}

}  // namespace
}  // namespace zrk
