#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tool_window.h"

// What the unit tests, the fuzzers and the GUI driver share.
namespace zrk::test {

// A folder tree as text: a path relative to the tree's root, written with '/'
// and in UTF-8 on every system, gives a file's content, "/" for a folder,
// "-> target" for a symbolic link and "<pipe>" for a named pipe (or another
// special file); a file over 1 MiB shows only its size, as "<sparse SIZE>".
// Sorted, so two trees compare as wholes.
using Tree = std::map<std::string, std::string>;

// The items of both trees; the first one's where both hold a path.
Tree plus(Tree tree, const Tree& more);

// A fresh work folder, "work", alone in a fresh parent folder, so that a check
// sees whatever a run writes beside it; both go afterwards. In /dev/shm where
// there is one.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // The work folder's native path, ending in a separator: what the jobs take.
    const std::string& path() const { return path_; }

    // A path below the work folder in the archive's form ("Output\A.PCM",
    // text in Windows-1252) as the system reaches it.
    std::filesystem::path native(std::string_view relative) const;
    // Writes a file there, making the folders on its way.
    void write(std::string_view relative, std::string_view bytes) const;
    std::string read(std::string_view relative) const;

    // Makes each item of a tree below the parent folder ("<sparse SIZE>" a
    // sparse file, "<sparse SIZE>BYTES" one that begins with those bytes), and
    // also "=> path" for a hard link to a file made before it, in the tree's
    // order; false where the system cannot make one (links under Wine, named
    // pipes on Windows).
    bool make(const Tree& items) const;
    // Everything below the parent folder ("work/Output/A.PCM").
    Tree tree() const;

private:
    std::string parent_;
    std::string path_;
};

// Makes a symbolic link at `at` to `target` (written with '/'), under Wine a
// Unix link; `error` tells where the system cannot make one.
void makeLink(const std::string& target, const std::filesystem::path& at, std::error_code& error);

// An archive entry for a test: its name as stored (raw bytes, cut to 19) and
// its data; the kind follows the name, and declaredLength is the data's length
// unless given.
struct TestEntry {
    std::string name;
    std::string data;
    std::optional<std::int32_t> declared = std::nullopt;
};
// An archive laid out by the format's own plan, as Repack writes one.
std::string archiveOf(const std::vector<TestEntry>& entries);
// Sets a 32-bit field of record `number` (from 1) to any bits.
std::string withField(std::string archive, int number, std::size_t fieldOffset,
                      std::uint32_t value);
// `count` bytes of a repeatable pattern that differs with `seed`.
std::string pattern(std::size_t count, unsigned seed);

// The logs of runs over entries of these names (as logged), reaching their
// end when `done`: Unpack's, not able to write those in `refused`, and
// Repack's.
std::vector<std::string> unpackLog(const std::vector<std::string>& names,
                                   const std::vector<std::string>& refused = {}, bool done = true);
std::vector<std::string> repackLog(const std::vector<std::string>& names, bool done = true);

// A window that keeps the log and lets a test act at a given line.
class RecordingWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override {
        lines.emplace_back(message);
        if (onLog) {
            onLog(message);
        }
    }
    void warn(std::string_view message) override { warnings.emplace_back(message); }
    void processEvents() override { ++eventRounds; }

    std::vector<std::string> lines, warnings;
    int eventRounds = 0;
    std::function<void(std::string_view)> onLog;
};

}  // namespace zrk::test
