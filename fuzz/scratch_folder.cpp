#include "scratch_folder.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zrk::fuzz {

namespace fs = std::filesystem;

namespace {

// Larger files are compared by their length only.
constexpr std::uintmax_t kLargestCompared = 1 << 20;

fs::path scratchParent() {
    std::error_code error;
    fs::path shm = "/dev/shm";
    return fs::is_directory(shm, error) ? shm : fs::temp_directory_path();
}

}  // namespace

ScratchFolder::ScratchFolder() {
    std::string pattern = (scratchParent() / "zrk-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder from " + pattern);
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

FolderTree readTree(const fs::path& root) {
    FolderTree tree;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(item.path(), root).string();
        if (item.is_symlink()) {
            tree[relative] = "<other>";
        } else if (item.is_directory()) {
            tree[relative] = "<folder>";
        } else if (item.is_regular_file() && item.file_size() > kLargestCompared) {
            tree[relative] = "<" + std::to_string(item.file_size()) + " bytes>";
        } else if (item.is_regular_file()) {
            tree[relative] = readWholeFile(item.path());
        } else {
            tree[relative] = "<other>";
        }
    }
    return tree;
}

std::string readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeWholeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

}  // namespace zrk::fuzz
