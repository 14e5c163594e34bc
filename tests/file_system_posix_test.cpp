// Paths and folders as Linux has them: '/' separators, UTF-8 names and
// permission bits.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "file_system.h"
#include "folder_creation.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

TEST(FileSystem, ArchivePathsUseBothSlashesAsSeparatorsAndUtf8) {
    EXPECT_EQ(nativeChildPath("/w/", "Output\\SUB/A.PCM"), "/w/Output/SUB/A.PCM");
    EXPECT_EQ(nativeChildPath("/w/", "Output\\\xe9.BIN"), "/w/Output/\xc3\xa9.BIN");
    EXPECT_EQ(joinPath("/", "a"), "/a");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(currentWorkDir().back(), '/');
}

TEST(EnsureFolderFor, AFolderThatCannotBeMadeGivesFalse) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write into a read-only folder";
    }
    test::TempFolder temp;
    fs::create_directory(temp.path() / "locked");
    fs::permissions(temp.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(ensureFolderFor(temp.workDir() + "locked/a/file.bin"));
    fs::permissions(temp.path() / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace zrk
