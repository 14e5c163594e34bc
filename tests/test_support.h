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

Bytes bytesOf(std::string_view text);
// `count` bytes of a repeatable pattern that differs with `seed`.
Bytes patternBytes(std::size_t count, std::uint32_t seed);

// Every file below `root`, with its relative path and content, sorted; for
// checking that a run changed nothing it should not have.
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
