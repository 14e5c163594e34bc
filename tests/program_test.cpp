// Runs the built programs in a fresh folder, as a user would: the log goes to
// standard output, an error that ends the run to standard error with exit
// code 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "ansi_text.h"
#include "archive_builder.h"
#include "program_runner.h"
#include "test_support.h"
#include "zrk_version.h"

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

// Inputs for both programs, so that a run that should touch nothing has
// something to touch.
void writeInputs(const test::WorkFolder& work) {
    test::writeFileBytes(work.path() / "ZRK.DAT",
                         ArchiveBuilder().add("A.BIN", bytesOf("a")).build());
    work.writeEntry("B.BIN", bytesOf("bb"));
    work.writeManifest("B.BIN,2\r\n");
}

const char* programPath(const std::string& name) {
    return name == "unpack" ? UNPACK_PROGRAM : REPACK_PROGRAM;
}

TEST(ProgramOptions, CommandLinesThatEndAtOnceTouchNothing) {
    auto usage = [](const std::string& name) {
        return "usage: " + name + " [-h] [--version] [-C DIR]\n";
    };
    auto refused = [&](const std::string& name, const std::string& complaint) {
        return name + ": " + complaint + "\n" + usage(name);
    };
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string outputStart, error;
    };
    const Case cases[] = {
        {"unpack", {"--help"}, 0, usage("unpack") + "\nTakes the archive ZRK.DAT", ""},
        {"repack", {"-h"}, 0, usage("repack") + "\nBuilds the archive ZRK.NEW", ""},
        {"unpack", {"--version"}, 0, "unpack " ZRK_VERSION_TEXT "\n", ""},
        {"repack", {"--version", "-C", "Output"}, 0, "repack " ZRK_VERSION_TEXT "\n", ""},
        {"unpack", {"--verbose"}, 2, "", refused("unpack", "unknown option '--verbose'")},
        {"repack", {"-hx"}, 2, "", refused("repack", "unknown option '-x'")},
        {"repack", {"--help=all"}, 2, "", refused("repack", "unknown option '--help=all'")},
        {"unpack", {"ZRK.DAT"}, 2, "", refused("unpack", "unexpected argument 'ZRK.DAT'")},
        {"repack", {"-C"}, 2, "", refused("repack", "option -C needs a folder")},
        {"unpack",
         {"--directory", "X"},
         2,
         "",
         "unpack: cannot work in 'X': No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.arguments.front());
        test::WorkFolder work;
        writeInputs(work);
        auto before = test::snapshotTree(work.parent());
        test::ProgramResult result =
            test::runProgram(programPath(c.name), work.path(), c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_TRUE(result.standardOutput.starts_with(c.outputStart)) << result.standardOutput;
        EXPECT_EQ(result.standardError, c.error);
        EXPECT_EQ(test::snapshotTree(work.parent()), before);
    }
}

// Started beside the work folder and sent into it, by a relative or an absolute
// path, a program leaves the same files and log as one started inside it.
TEST(ProgramOptions, DirectoryOptionWorksAsIfStartedThere) {
    for (const char* program : {UNPACK_PROGRAM, REPACK_PROGRAM}) {
        test::WorkFolder inside;
        writeInputs(inside);
        test::ProgramResult expected = test::runProgram(program, inside.path());
        ASSERT_EQ(expected.exitCode, 0);
        for (bool absolute : {false, true}) {
            SCOPED_TRACE(std::string(program) + (absolute ? " absolute" : " relative"));
            test::WorkFolder sent;
            writeInputs(sent);
            std::vector<std::string> arguments{"-C", "work"};
            if (absolute) {
                arguments = {"--directory=" + sent.path().string()};
            }
            test::ProgramResult result = test::runProgram(program, sent.parent(), arguments);
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(result.standardOutput, expected.standardOutput);
            EXPECT_EQ(test::snapshotTree(sent.parent()), test::snapshotTree(inside.parent()));
        }
    }
}

}  // namespace
}  // namespace zrk
