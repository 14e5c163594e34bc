#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tool_window.h"

namespace zrk::test {

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

using Bytes = std::vector<std::uint8_t>;

// A work folder for the jobs inside a fresh parent folder, so that a check can
// see everything a run might touch, also beside the work folder. Entries and
// the manifest are named in the archive's text and reached by the paths the
// jobs form.
class WorkFolder {
public:
    WorkFolder();

    const std::filesystem::path& parent() const { return parent_.path(); }
    std::filesystem::path path() const { return parent() / "work"; }
    std::filesystem::path output() const { return path() / "Output"; }
    std::string workDir() const { return (path() / "").string(); }

    void writeEntry(const std::string& name, const Bytes& bytes) const;
    Bytes readEntry(const std::string& name) const;
    void writeManifest(std::string_view text) const;
    std::string manifest() const;

private:
    TempFolder parent_;
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
// The native paths of an entry's file and of the manifest, as the jobs form them.
std::string entryPath(const std::string& workDir, std::string_view name);
std::string manifestPath(const std::string& workDir);
Bytes readNativeFile(const std::string& path);

Bytes bytesOf(std::string_view text);
std::string textOf(const Bytes& bytes);
// `count` bytes of a repeatable pattern that differs with `seed`.
Bytes patternBytes(std::size_t count, std::uint32_t seed);

// Every file below `root`, with its relative path and content, sorted; for
// checking that a run changed nothing it should not have. Paths are UTF-8 on
// both platforms, so a name the jobs wrote from Windows-1252 text reads as
// windows1252ToUtf8 of it (on Windows when that is the ANSI code page).
std::vector<std::pair<std::string, Bytes>> snapshotTree(const std::filesystem::path& root);

// The log of an Unpack run over entries of these names (as logged) that cannot
// write the ones in `refused`; `done` when the run gets to its end.
std::vector<std::string> unpackLog(const std::vector<std::string>& names,
                                   const std::vector<std::string>& refused = {}, bool done = true);
// The log of a Repack run over these names that gets to its end.
std::vector<std::string> repackLog(const std::vector<std::string>& names);

// A window that keeps what is logged, for checking the log line by line, and
// lets a test act at a given line.
class RecordingWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override {
        lines.emplace_back(message);
        if (onLog) {
            onLog(message);
        }
    }
    void processEvents() override { ++eventRounds; }

    std::vector<std::string> lines;
    int eventRounds = 0;
    std::function<void(std::string_view)> onLog;
};

}  // namespace zrk::test
