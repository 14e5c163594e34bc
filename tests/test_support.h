#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tool_window.h"

namespace zrk::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as a work folder: its path ending in a separator.
    std::string workDir() const;

private:
    std::filesystem::path path_;
};

Bytes readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const Bytes& bytes);
void writeFileText(const std::filesystem::path& path, std::string_view text);
std::string readFileText(const std::filesystem::path& path);

// Files named by a path in the platform's own text, as the jobs form it
// (entryPath, manifestPath): written and read through zrk::File, so that a
// name with ANSI bytes means the same file to a test as to the jobs. The
// std::filesystem helpers above do not: mingw's std::filesystem::path takes
// each byte of a narrow string as the character of that number, not in the
// ANSI code page (0x80 to 0x9F differ in Windows-1252). Missing folders are
// made.
void writeNativeFile(const std::string& path, const Bytes& bytes);
Bytes readNativeFile(const std::string& path);

Bytes bytesOf(std::string_view text);
// `count` bytes of a repeatable pattern that differs with `seed`.
Bytes patternBytes(std::size_t count, std::uint32_t seed);

// Every file below `root`, with its relative path and content, sorted; for
// checking that a run changed nothing it should not have. Paths are UTF-8 on
// both platforms, so a name the jobs wrote from Windows-1252 text reads as
// windows1252ToUtf8 of it (on Windows when that is the ANSI code page).
std::vector<std::pair<std::string, Bytes>> snapshotTree(const std::filesystem::path& root);

// A window that keeps what is logged, for checking the log line by line.
class RecordingWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override { lines.emplace_back(message); }
    void processEvents() override { ++eventRounds; }

    std::vector<std::string> lines;
    int eventRounds = 0;
};

}  // namespace zrk::test
