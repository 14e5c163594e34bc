#include <gtest/gtest.h>

#include "ansi_text.h"
#include "errors.h"
#include "file.h"
#include "folder.h"
#include "test_support.h"

namespace zrk {
namespace {

using test::Bytes;

TEST(File, ReplacesAnOlderFileWritesAtPositionsAndReadsBack) {
    test::TempFolder temp;
    std::string path = temp.workDir() + "f.bin";
    test::writeFileText(path, "a much longer old content");
    File out = File::createForWriting(path);
    out.writeAt(4, test::bytesOf("EF"));
    out.writeAt(0, test::bytesOf("ABCD"));
    out.close();
    EXPECT_EQ(test::readFileText(path), "ABCDEF");
    File in = File::openForReading(path);
    EXPECT_EQ(in.size(), 6);
    Bytes part(10);
    EXPECT_EQ(in.readAt(2, part), 4u);
    EXPECT_EQ(in.readAt(6, part), 0u);
    EXPECT_EQ(in.readAt(100, part), 0u);
    EXPECT_THROW(in.readExactlyAt(2, part), ToolError);
}

TEST(File, CreatingAPlainFileRefusesFoldersAndTheSourceItself) {
    test::TempFolder temp;
    std::string source = temp.workDir() + "src.bin";
    test::writeFileText(source, "source bytes");
    File from = File::openForReading(source);
    std::string path = temp.workDir() + "f.bin";
    test::writeFileText(path, "an older and longer content");
    Folder folder = Folder::open(temp.workDir());
    std::optional<File> out = folder.createPlainFile("f.bin", from);
    ASSERT_TRUE(out.has_value());
    out->writeAt(0, test::bytesOf("new"));
    out->close();
    EXPECT_EQ(test::readFileText(path), "new");

    std::filesystem::create_directory(temp.path() / "folder");
    EXPECT_FALSE(folder.createPlainFile("folder", from).has_value());
    EXPECT_FALSE(folder.createPlainFile("src.bin", from).has_value());
    EXPECT_EQ(test::readFileText(source), "source bytes");
}

TEST(File, ErrorsNameTheFileAndGiveTheSystemsReason) {
    test::TempFolder temp;
    std::string path = temp.workDir() + "missing.bin";
    try {
        File::openForReading(path);
        FAIL() << "no error";
    } catch (const ToolError& error) {
        std::string text = error.what();
        EXPECT_TRUE(text.starts_with("cannot open " + path + ": ")) << text;
        EXPECT_GT(text.size(), ("cannot open " + path + ": ").size()) << text;
        EXPECT_EQ(text.find("system error"), std::string::npos) << text;
        EXPECT_NE(text.back(), '\n');
    }
}

TEST(CopyBytes, CopiesRangesOfEverySizeExactly) {
    test::TempFolder temp;
    Bytes source = test::patternBytes(3 * 1024 * 1024 + 17, 1);
    test::writeFileBytes(temp.path() / "src.bin", source);
    for (std::int64_t length :
         {std::int64_t{1}, std::int64_t{4096}, std::int64_t{3 * 1024 * 1024 + 10}}) {
        File from = File::openForReading(temp.workDir() + "src.bin");
        File to = File::createForWriting(temp.workDir() + "dst.bin");
        EXPECT_EQ(copyAvailableBytes(from, 7, to, 3, length), length);
        to.close();
        Bytes copied = test::readFileBytes(temp.path() / "dst.bin");
        ASSERT_EQ(copied.size(), static_cast<std::size_t>(length + 3));
        EXPECT_TRUE(std::equal(copied.begin() + 3, copied.end(), source.begin() + 7)) << length;
    }
}

TEST(CopyBytes, ASourceThatEndsEarlyIsAnError) {
    test::TempFolder temp;
    test::writeFileBytes(temp.path() / "src.bin", test::patternBytes(100, 2));
    File from = File::openForReading(temp.workDir() + "src.bin");
    File to = File::createForWriting(temp.workDir() + "dst.bin");
    EXPECT_EQ(copyAvailableBytes(from, 50, to, 0, 200 * 1024), 50);
    EXPECT_EQ(test::readFileBytes(temp.path() / "dst.bin").size(), 50u);
}

TEST(Folder, TellsFilesFromFolders) {
    test::TempFolder temp;
    Folder folder = Folder::open(temp.workDir());
    test::writeFileText(temp.path() / "f.bin", "12345");
    EXPECT_EQ(folder.status("f.bin", false).kind, PathKind::File);
    EXPECT_EQ(folder.status("f.bin", false).size, 5);
    EXPECT_EQ(folder.status("missing", false).kind, PathKind::Missing);
    EXPECT_EQ(folder.status("f.bin/below", false).kind, PathKind::Missing);
    EXPECT_TRUE(folder.remove("f.bin"));
    EXPECT_TRUE(folder.remove("f.bin"));  // it is gone either way
}

TEST(AnsiText, MapsWindows1252ToUtf8) {
    EXPECT_EQ(windows1252ToUtf8("A.PCM"), "A.PCM");
    EXPECT_EQ(windows1252ToUtf8("\xe9"), "\xc3\xa9");
    EXPECT_EQ(windows1252ToUtf8("\x80"), "\xe2\x82\xac");
    EXPECT_EQ(windows1252ToUtf8("\x81"), "\xc2\x81");
    EXPECT_EQ(windows1252ToUtf8("\x9f"), "\xc5\xb8");
    EXPECT_EQ(windows1252ToUtf8("\xff"), "\xc3\xbf");
}

}  // namespace
}  // namespace zrk
