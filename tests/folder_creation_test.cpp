#include <gtest/gtest.h>

#include <filesystem>

#include "folder_creation.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

TEST(EnsureFolderFor, AnExistingFolderIsTrueAndNothingIsMade) {
    test::TempFolder temp;
    auto before = test::snapshotTree(temp.path());
    EXPECT_TRUE(ensureFolderFor(temp.workDir() + "file.bin"));
    EXPECT_EQ(test::snapshotTree(temp.path()), before);
}

TEST(EnsureFolderFor, MakesMissingLevelsFromTheTopDown) {
    test::TempFolder temp;
    EXPECT_TRUE(ensureFolderFor(temp.workDir() + "a/b/c/file.bin"));
    EXPECT_TRUE(fs::is_directory(temp.path() / "a" / "b" / "c"));
    EXPECT_FALSE(fs::exists(temp.path() / "a" / "b" / "c" / "file.bin"));
}

TEST(EnsureFolderFor, APathWithoutSeparatorIsTakenAsAFolder) {
    test::TempFolder temp;
    fs::current_path(temp.path());
    EXPECT_TRUE(ensureFolderFor("plain"));
    EXPECT_TRUE(fs::is_directory(temp.path() / "plain"));
    fs::current_path(fs::temp_directory_path());
}

TEST(EnsureFolderFor, AFileInTheWayStopsTheLoopAndKeepsEarlierLevels) {
    test::TempFolder temp;
    test::writeFileText(temp.path() / "a" / "b", "in the way");
    EXPECT_FALSE(ensureFolderFor(temp.workDir() + "a/b/c/file.bin"));
    EXPECT_TRUE(fs::is_directory(temp.path() / "a"));
    EXPECT_TRUE(fs::is_regular_file(temp.path() / "a" / "b"));
    // Parent-folder parts are resolved as text before any level is made.
    EXPECT_FALSE(ensureFolderFor(temp.workDir() + "x/y/../../a/b/file.bin"));
    EXPECT_FALSE(fs::exists(temp.path() / "x"));
}

}  // namespace
}  // namespace zrk
