#include "support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "archive_format.h"
#include "file.h"
#include "folder.h"
#include "native_path.h"

namespace zrk::test {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kLargestShown = 1 << 20;

fs::path scratchBase() {
    std::error_code error;
    if (hostNameRules() == NameRules::Posix && fs::is_directory("/dev/shm", error)) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

std::string utf8(const fs::path& path) {
    std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

WorkFolder::WorkFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && parent_.empty(); ++attempt) {
        fs::path folder = scratchBase() / ("zrk-test-" + std::to_string(random()));
        if (fs::create_directory(folder)) {
            parent_ = (folder / "").string();
        }
    }
    if (parent_.empty()) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    fs::create_directory(fs::path(parent_) / "work");
    path_ = parent_ + "work" + (hostNameRules() == NameRules::Posix ? "/" : "\\");
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    for (const auto& item : fs::recursive_directory_iterator(parent_, ignored)) {
        fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(parent_, ignored);
}

std::string WorkFolder::native(std::string_view relative) const {
    return path_ + nativeRelativePath(relative);
}

void WorkFolder::write(std::string_view relative, const Bytes& bytes) const {
    std::string path = nativeRelativePath(relative);
    Folder folder = Folder::open(path_);
    for (std::size_t start = 0, cut; (cut = path.find_first_of("/\\", start)) != path.npos;
         start = cut + 1) {
        std::optional<Folder> next = folder.makeChild(path.substr(start, cut - start), true);
        if (!next) {
            throw std::runtime_error("cannot make the folders of " + path);
        }
        folder = std::move(*next);
    }
    File file = File::createForWriting(path_ + path);
    file.writeAt(0, bytes);
    file.close();
}

Bytes WorkFolder::read(std::string_view relative) const {
    File file = File::openForReading(native(relative));
    Bytes bytes(static_cast<std::size_t>(file.size()));
    file.readExactlyAt(0, bytes);
    return bytes;
}

bool WorkFolder::make(const Tree& items) const {
    for (const auto& [name, content] : items) {
        fs::path path = fs::path(parent_) / name;
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (name.ends_with('/')) {
            fs::create_directories(path, error);
        } else if (content.starts_with("-> ")) {
            fs::create_symlink(content.substr(3), path, error);
        } else if (content.starts_with("=> ")) {
            fs::create_hard_link(fs::path(parent_) / content.substr(3), path, error);
        } else if (content == "<pipe>") {
#ifdef _WIN32
            return false;
#else
            if (::mkfifo(path.string().c_str(), 0666) != 0) {
                return false;
            }
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
        std::string name = utf8(item.path().lexically_relative(parent_));
        if (item.is_symlink()) {
            tree[name] = std::string("-> ").append(utf8(fs::read_symlink(item.path())));
        } else if (item.is_directory()) {
            tree.insert_or_assign(name.append("/"), std::string(1, '/'));
        } else if (item.is_regular_file() && item.file_size() > kLargestShown) {
            tree[name] = std::to_string(item.file_size()).append(" bytes");
        } else if (item.is_regular_file()) {
            std::ifstream in(item.path(), std::ios::binary);
            tree[name].assign(std::istreambuf_iterator<char>(in), {});
        } else {
            tree[name] = "<pipe>";
        }
    }
    return tree;
}

Bytes archiveOf(const std::vector<TestEntry>& entries) {
    std::vector<ArchiveEntry> directory;
    for (const TestEntry& entry : entries) {
        auto length = static_cast<std::int32_t>(entry.data.size());
        directory.push_back(
            {entry.name, kindForName(entry.name), length, entry.declared.value_or(length), 0});
    }
    planLayout(directory);
    ArchiveHeader header = encodeArchiveHeader(static_cast<std::int32_t>(entries.size()));
    Bytes archive(header.begin(), header.end());
    for (const ArchiveEntry& entry : directory) {
        DirectoryRecord record = encodeDirectoryRecord(entry);
        archive.insert(archive.end(), record.begin(), record.end());
    }
    for (const TestEntry& entry : entries) {
        archive.insert(archive.end(), entry.data.begin(), entry.data.end());
    }
    return archive;
}

Bytes withField(Bytes archive, std::int64_t number, std::size_t fieldOffset, std::uint32_t value) {
    auto at = static_cast<std::size_t>(fileOffset(recordPosition(number))) + fieldOffset;
    for (std::size_t i = 0; i < kFieldWidth; ++i) {
        archive.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return archive;
}

std::string pattern(std::size_t count, unsigned seed) {
    std::string text(count, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : text) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
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
