#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "errors.h"
#include "file.h"
#include "folder.h"
#include "native_path.h"
#include "work_files.h"

namespace zrk::test {

namespace {

constexpr int kTempFolderAttempts = 100;

}  // namespace

TempFolder::TempFolder() {
    // A random name, made by whoever creates it first; works wherever the
    // standard library does.
    std::random_device random;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < kTempFolderAttempts; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof(name), "zrk-test-%08x", static_cast<unsigned>(random()));
        if (std::filesystem::create_directory(base / name)) {
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::workDir() const {
    return (path_ / "").string();
}

WorkFolder::WorkFolder() {
    std::filesystem::create_directory(path());
}

void WorkFolder::writeEntry(const std::string& name, const Bytes& bytes) const {
    writeNativeFile(entryPath(workDir(), name), bytes);
}

Bytes WorkFolder::readEntry(const std::string& name) const {
    return readNativeFile(entryPath(workDir(), name));
}

void WorkFolder::writeManifest(std::string_view text) const {
    writeNativeFile(manifestPath(workDir()), bytesOf(text));
}

std::string WorkFolder::manifest() const {
    return textOf(readNativeFile(manifestPath(workDir())));
}

Bytes readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void writeFileText(const std::filesystem::path& path, std::string_view text) {
    writeFileBytes(path, bytesOf(text));
}

std::string readFileText(const std::filesystem::path& path) {
    return textOf(readFileBytes(path));
}

namespace {

void makeFoldersFor(const std::string& path) {
    std::size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos || cut == 0) {
        return;
    }
    std::string folder = path.substr(0, cut);
    try {
        Folder::open(folder);
        return;
    } catch (const ToolError&) {
    }
    makeFoldersFor(folder);
    std::size_t parentCut = folder.find_last_of("/\\");
    Folder::open(folder.substr(0, parentCut + 1)).makeChild(folder.substr(parentCut + 1), true);
}

}  // namespace

std::string entryPath(const std::string& workDir, std::string_view name) {
    return workDir + nativeRelativePath(std::string(kOutputFolderName) + "\\" + std::string(name));
}

std::string manifestPath(const std::string& workDir) {
    return entryPath(workDir, kManifestName);
}

void writeNativeFile(const std::string& path, const Bytes& bytes) {
    makeFoldersFor(path);
    File out = File::createForWriting(path);
    out.writeAt(0, bytes);
    out.close();
}

Bytes readNativeFile(const std::string& path) {
    File in = File::openForReading(path);
    Bytes bytes(static_cast<std::size_t>(in.size()));
    in.readExactlyAt(0, bytes);
    return bytes;
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes patternBytes(std::size_t count, std::uint32_t seed) {
    Bytes bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<std::pair<std::string, Bytes>> snapshotTree(const std::filesystem::path& root) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        std::string relative = std::filesystem::relative(item.path(), root).string();
        if (item.is_directory()) {
            files.emplace_back(relative + "/", Bytes{});
        } else {
            files.emplace_back(relative, readFileBytes(item.path()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> unpackLog(const std::vector<std::string>& names,
                                   const std::vector<std::string>& refused, bool done) {
    std::vector<std::string> log = {"Reading metadata...", "Writing manifest file..."};
    for (const std::string& name : names) {
        log.push_back("Unpacking " + name + "...");
        if (std::find(refused.begin(), refused.end(), name) != refused.end()) {
            log.push_back("Unable to write " + name + "!");
        }
    }
    if (done) {
        log.push_back("Done!");
    }
    return log;
}

std::vector<std::string> repackLog(const std::vector<std::string>& names) {
    std::vector<std::string> log = {"Reading metadata from manifest...", "Writing metadata..."};
    for (const std::string& name : names) {
        log.push_back("Repacking " + name + "...");
    }
    log.push_back("Done!");
    return log;
}

}  // namespace zrk::test
