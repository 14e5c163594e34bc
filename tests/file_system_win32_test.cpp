// Paths, files and folders as Windows has them: drive and UNC roots, '\'
// separators, names in the ANSI code page, hidden and system files.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "errors.h"
#include "file_handle.h"
#include "file_system.h"
#include "folder_creation.h"
#include "test_support.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

// A drive letter that names no drive on this machine.
std::string missingDrive() {
    DWORD drives = ::GetLogicalDrives();
    for (int letter = 'Z' - 'A'; letter >= 2; --letter) {
        if ((drives & (1u << letter)) == 0) {
            return std::string(1, static_cast<char>('A' + letter)) + ":\\";
        }
    }
    return {};
}

void setAttributes(const std::string& path, DWORD attributes) {
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attributes)) << path;
}

TEST(FileSystemWin32, HiddenAndSystemFilesDoNotCountAsThere) {
    test::TempFolder temp;
    const struct {
        const char* name;
        DWORD attributes;
        bool counts;
    } cases[] = {
        {"plain.bin", FILE_ATTRIBUTE_NORMAL, true},
        {"readonly.bin", FILE_ATTRIBUTE_READONLY, true},
        {"archive.bin", FILE_ATTRIBUTE_ARCHIVE, true},
        {"hidden.bin", FILE_ATTRIBUTE_HIDDEN, false},
        {"system.bin", FILE_ATTRIBUTE_SYSTEM, false},
        {"both.bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false},
    };
    for (const auto& c : cases) {
        std::string path = temp.workDir() + c.name;
        test::writeFileText(path, "12345");
        setAttributes(path, c.attributes);
        EXPECT_EQ(plainFileExists(path), c.counts) << c.name;
        EXPECT_TRUE(isPlainFile(path)) << c.name;
        EXPECT_EQ(plainFileLength(path), 5) << c.name;
        setAttributes(path, FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_FALSE(plainFileExists(temp.path().string()));
    EXPECT_FALSE(isPlainFile(temp.path().string()));
}

TEST(FileSystemWin32, PathsUseBackslashesAndKeepAnsiBytes) {
    EXPECT_EQ(nativeChildPath("C:\\w\\", "Output\\SUB/A.PCM"), "C:\\w\\Output\\SUB\\A.PCM");
    EXPECT_EQ(nativeChildPath("C:\\w\\", "Output\\\xe9.BIN"), "C:\\w\\Output\\\xe9.BIN");
    EXPECT_EQ(joinPath("C:\\", "a"), "C:\\a");
    EXPECT_EQ(joinPath("C:\\a", "b"), "C:\\a\\b");
    EXPECT_EQ(joinPath("C:/a/", "b"), "C:/a/b");
    EXPECT_TRUE(isFolderSeparator('\\'));
    EXPECT_TRUE(isFolderSeparator('/'));
    EXPECT_FALSE(isFolderSeparator(':'));
    EXPECT_EQ(hostNameRules(), NameRules::Windows);
}

TEST(FileSystemWin32, TheWorkDirEndsInOneBackslashAlsoAtADriveRoot) {
    test::TempFolder temp;
    fs::path before = fs::current_path();
    fs::current_path(temp.path());
    EXPECT_EQ(currentWorkDir(), temp.workDir());
    ASSERT_TRUE(::SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(currentWorkDir(), "C:\\");
    fs::current_path(before);
}

TEST(FileSystemWin32, FolderRoutesSplitDriveAndUncRoots) {
    const struct {
        std::string folder;
        std::string root;
        std::vector<std::string> parts;
    } cases[] = {
        {"C:\\", "C:\\", {}},
        {"C:\\a\\b\\", "C:\\", {"a", "b"}},
        {"c:/a/./x/../b", "c:\\", {"a", "b"}},
        {"C:\\a\\..\\..\\b\\", "C:\\", {"b"}},
        {"\\\\server\\share\\a\\b\\", "\\\\server\\share\\", {"a", "b"}},
        {"\\\\server\\share", "\\\\server\\share\\", {}},
    };
    for (const auto& c : cases) {
        FolderRoute route = folderRoute(c.folder);
        EXPECT_EQ(route.root, c.root) << c.folder;
        EXPECT_EQ(route.parts, c.parts) << c.folder;
    }
    EXPECT_TRUE(folderRoute("C:\\a\\").rootUsable);

    // A relative folder is resolved from the current directory.
    test::TempFolder temp;
    fs::path before = fs::current_path();
    fs::current_path(temp.path());
    FolderRoute expected = folderRoute(temp.workDir() + "a\\b\\");
    FolderRoute route = folderRoute("a\\b\\");
    EXPECT_EQ(route.root, expected.root);
    EXPECT_EQ(route.parts, expected.parts);
    fs::current_path(before);
}

TEST(FileSystemWin32, AMissingDriveIsNotUsableAndMakesNoFolder) {
    std::string drive = missingDrive();
    ASSERT_FALSE(drive.empty());
    FolderRoute route = folderRoute(drive + "a\\");
    EXPECT_EQ(route.root, drive);
    EXPECT_FALSE(route.rootUsable);
    EXPECT_FALSE(ensureFolderFor(drive + "a\\b\\file.bin"));
}

TEST(FileSystemWin32, FoldersAreMadeLevelByLevelWithAnsiNames) {
    test::TempFolder temp;
    std::string file = nativeChildPath(temp.workDir(), "Output\\D\xe9j\xe0\\SUB/A.PCM");
    EXPECT_TRUE(ensureFolderFor(file));
    std::string folder = temp.workDir() + "Output\\D\xe9j\xe0\\SUB";
    EXPECT_TRUE(folderExists(folder));
    File out = File::createForWriting(file);
    out.writeAt(0, test::bytesOf("data"));
    out.close();
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + "\\*.PCM").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "A.PCM");
    ::FindClose(search);
    EXPECT_EQ(plainFileLength(file), 4);
}

TEST(FileWin32, CreatingReplacesHiddenAndSystemFilesToo) {
    test::TempFolder temp;
    std::string source = temp.workDir() + "src.bin";
    test::writeFileText(source, "source");
    File from = File::openForReading(source);
    std::string path = temp.workDir() + "old.bin";
    for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
                             DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
        for (bool plain : {false, true}) {
            test::writeFileText(path, "an older and longer content");
            setAttributes(path, attributes);
            File out = plain ? *File::createPlainFile(path, from) : File::createForWriting(path);
            out.writeAt(0, test::bytesOf("new"));
            out.close();
            setAttributes(path, FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(test::readFileText(path), "new") << attributes << plain;
        }
    }
    EXPECT_THROW(File::createPlainFile(temp.workDir() + "no\\such\\f.bin", from), ToolError);
}

TEST(FileWin32, OthersMayReadWhatIsBeingWrittenButNotWriteIt) {
    test::TempFolder temp;
    std::string path = temp.workDir() + "f.bin";
    File out = File::createForWriting(path);
    out.writeAt(0, test::bytesOf("written"));
    const struct {
        DWORD access;
        bool allowed;
    } cases[] = {{GENERIC_READ, true}, {GENERIC_WRITE, false}};
    for (const auto& c : cases) {
        HANDLE other = ::CreateFileA(path.c_str(), c.access,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(other != INVALID_HANDLE_VALUE, c.allowed) << c.access;
        if (other != INVALID_HANDLE_VALUE) {
            ::CloseHandle(other);
        }
    }
}

}  // namespace
}  // namespace zrk
