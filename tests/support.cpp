#include "support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "archive_format.h"
#include "native_path.h"

namespace zrk::test {

namespace fs = std::filesystem;

Tree plus(Tree tree, const Tree& more) {
    tree.insert(more.begin(), more.end());
    return tree;
}

WorkFolder::WorkFolder() {
    bool posix = hostNameRules() == NameRules::Posix;
    fs::path base = posix && fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    fs::path parent = base / ("zrk-test-" + std::to_string(std::random_device()()));
    fs::create_directories(parent / "work");
    parent_ = (parent / "").string();
    path_ = (parent / "work" / "").string();
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(parent_, ignored);
}

std::string WorkFolder::native(std::string_view relative) const {
    return path_ + nativeRelativePath(relative);
}

void WorkFolder::write(std::string_view relative, std::string_view bytes) const {
    fs::create_directories(fs::path(native(relative)).parent_path());
    std::ofstream(native(relative), std::ios::binary) << bytes;
}

std::string WorkFolder::read(std::string_view relative) const {
    std::ifstream in(native(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool WorkFolder::make(const Tree& items) const {
    std::error_code error;
    for (const auto& [name, content] : items) {
        fs::path path = fs::path(parent_) / name;
        fs::create_directories(path.parent_path(), error);
        if (name.ends_with('/')) {
            fs::create_directories(path, error);
        } else if (content.starts_with("-> ")) {
            fs::create_symlink(content.substr(3), path, error);
        } else if (content.starts_with("=> ")) {
            fs::create_hard_link(fs::path(parent_) / content.substr(3), path, error);
        } else if (content.starts_with("<sparse ")) {
            std::ofstream(path, std::ios::binary) << content.substr(content.find('>') + 1);
            fs::resize_file(path, std::stoull(content.substr(8)), error);
        } else if (content == "<pipe>") {
#ifdef _WIN32
            return false;
#else
            error.assign(::mkfifo(path.string().c_str(), 0666) == 0 ? 0 : errno,
                         std::generic_category());
#endif
        } else {
            std::ofstream(path, std::ios::binary) << content;
        }
        if (error) {
            return false;
        }
    }
    return true;
}

Tree WorkFolder::tree() const {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(parent_)) {
        std::u8string utf8 = item.path().lexically_relative(parent_).generic_u8string();
        std::string name(utf8.begin(), utf8.end());
        if (item.is_symlink()) {
            tree[name] = "-> " + fs::read_symlink(item.path()).generic_string();
        } else if (item.is_directory()) {
            tree.insert_or_assign(name.append("/"), std::string(1, '/'));
        } else if (item.is_regular_file() && item.file_size() > (1 << 20)) {
            tree[name] = "<sparse " + std::to_string(item.file_size()).append(">");
        } else if (item.is_regular_file()) {
            std::ifstream in(item.path(), std::ios::binary);
            tree[name].assign(std::istreambuf_iterator<char>(in), {});
        } else {
            tree[name] = "<pipe>";
        }
    }
    return tree;
}

std::string archiveOf(const std::vector<TestEntry>& entries) {
    std::vector<ArchiveEntry> directory;
    std::string data;
    for (const TestEntry& entry : entries) {
        auto length = static_cast<std::int32_t>(entry.data.size());
        directory.push_back(
            {entry.name, kindForName(entry.name), length, entry.declared.value_or(length), 0});
        data += entry.data;
    }
    planLayout(directory);
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(entries.size()));
    std::string archive(header.begin(), header.end());
    for (const ArchiveEntry& entry : directory) {
        DirectoryRecord record = encodeDirectoryRecord(entry);
        archive.append(record.begin(), record.end());
    }
    return archive + data;
}

std::string withField(std::string archive, int number, std::size_t fieldOffset,
                      std::uint32_t value) {
    auto at = static_cast<std::size_t>(fileOffset(recordPosition(number))) + fieldOffset;
    for (std::size_t i = 0; i < kFieldWidth; ++i) {
        archive.at(at + i) = static_cast<char>(value >> (8 * i));
    }
    return archive;
}

std::string pattern(std::size_t count, unsigned seed) {
    std::string text(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        text[i] = static_cast<char>((i * 131 + seed * 17 + i / 256) % 251);
    }
    return text;
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
    log.resize(log.size() + (done ? 1 : 0), "Done!");
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
