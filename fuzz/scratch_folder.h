#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace zrk::fuzz {

// A fresh folder for one fuzz input, in a RAM-backed place where there is one
// (/dev/shm), else in the system's temporary folder; removed afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as a work folder: its path ending in a separator.
    std::string workDir() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

// Everything below a folder: relative path to content for files (to the
// length only for files over 1 MiB), "<folder>" for folders and "<other>" for
// anything else (links, devices), so that two trees compare byte for byte.
using FolderTree = std::map<std::string, std::string>;
FolderTree readTree(const std::filesystem::path& root);

std::string readWholeFile(const std::filesystem::path& path);
void writeWholeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace zrk::fuzz
