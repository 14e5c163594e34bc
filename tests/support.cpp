#include "support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "ansi_text.h"
#include "archive_format.h"
#include "relative_path.h"

namespace zrk::test {

namespace fs = std::filesystem;

namespace {

// A thing in a folder as the system lists it.
struct Item {
    enum Kind { Folder, File, Link, Other };
    std::string name;  // in UTF-8
    Kind kind;
    std::uintmax_t size;  // of a file
};

}  // namespace

namespace {

fs::path fromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

#ifdef _WIN32
namespace {

const fs::path kUnixShell = "Z:\\bin\\sh";  // where Wine shows it

std::string shellQuoted(std::string text) {
    for (std::size_t at = 0; (at = text.find('\'', at)) != text.npos; at += 4) {
        text.replace(at, 1, "'\\''");
    }
    return "'" + text + "'";
}

// Runs `script` in a Unix shell under Wine, in `folder`, as someone on the
// Linux side would; true once it has ended well. Wine starts a Unix program
// without a handle to wait on, so the shell leaves a mark when it is done.
bool runUnixScript(const fs::path& folder, const std::string& script) {
    std::error_code error;
    fs::path made = folder / ".zrk-made", file = folder / ".zrk-script";
    std::ofstream(file, std::ios::binary) << "{ " << script << "\n} && : > .zrk-made\n";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring command = L"sh .zrk-script";
    if (::CreateProcessW(kUnixShell.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         folder.c_str(), &startup, &started)) {
        for (int look = 0; look < 10000 && !fs::exists(made, error); ++look) {
            ::Sleep(1);
        }
    }
    bool done = fs::remove(made, error);
    fs::remove(file, error);
    return done;
}

// The links below `root`, as "-> target": Wine goes through them or, where
// their target is missing, hides them.
Tree unixLinks(const fs::path& root) {
    Tree links;
    std::error_code error;
    if (fs::exists(kUnixShell, error) &&
        runUnixScript(root, "find . -type l -printf '%P\\t%l\\n' > .zrk-links")) {
        std::ifstream in(root / ".zrk-links", std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            std::size_t tab = line.find('\t');
            links[line.substr(0, tab)] = "-> " + line.substr(tab + 1);
        }
        in.close();
        fs::remove(root / ".zrk-links", error);
    }
    return links;
}

// Under Wine a Unix shell removes the folder: Wine deletes what a link points
// to rather than the link.
void removeAll(const fs::path& folder) {
    std::error_code error;
    std::u8string name = folder.filename().u8string();
    if (!fs::exists(kUnixShell, error) ||
        !runUnixScript(folder.parent_path(),
                       "rm -rf -- " + shellQuoted(std::string(name.begin(), name.end())))) {
        fs::remove_all(folder, error);
    }
}

}  // namespace

// A path past 260 characters is read only in the \\?\ form, which the
// listing of std::filesystem does not take on mingw.
fs::path longForm(const std::string& path) {
    return fs::path(L"\\\\?\\" + fs::path(path).native());
}

std::vector<Item> itemsIn(const fs::path& folder) {
    std::vector<Item> items;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder / L"*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
        std::u8string name = fs::path(found.cFileName).u8string();
        if (name != u8"." && name != u8"..") {
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            items.push_back({std::string(name.begin(), name.end()),
                             isFolder ? Item::Folder : Item::File,
                             (std::uintmax_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow});
        }
    }
    ::FindClose(search);
    return items;
}

// Wine makes no link of its own (CreateSymbolicLinkW reports success and makes
// nothing), so a Unix shell under it makes one: Wine shows such a link to a
// Windows program as a reparse point, or goes through it.
bool makeLink(const std::string& target, const fs::path& at) {
    std::error_code error;
    if (!fs::exists(kUnixShell, error)) {
        fs::create_symlink(target, at, error);  // Windows itself
        return !error;
    }
    std::u8string name = at.filename().u8string();
    return runUnixScript(at.parent_path(), "ln -s -- " + shellQuoted(target) + " " +
                                               shellQuoted(std::string(name.begin(), name.end())));
}
#else
bool makeLink(const std::string& target, const fs::path& at) {
    std::error_code error;
    fs::create_symlink(target, at, error);
    return !error;
}

namespace {

Tree unixLinks(const fs::path&) {
    return {};  // the system shows them as they are
}

void removeAll(const fs::path& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
}

fs::path longForm(const std::string& path) {
    return path;
}

std::vector<Item> itemsIn(const fs::path& folder) {
    std::vector<Item> items;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        std::u8string name = entry.path().filename().u8string();
        Item::Kind kind = entry.is_symlink()        ? Item::Link
                          : entry.is_directory()    ? Item::Folder
                          : entry.is_regular_file() ? Item::File
                                                    : Item::Other;
        items.push_back({std::string(name.begin(), name.end()), kind,
                         kind == Item::File ? entry.file_size() : 0});
    }
    return items;
}

}  // namespace
#endif

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
    removeAll(fs::path(parent_).parent_path());  // without the trailing separator
}

fs::path WorkFolder::native(std::string_view relative) const {
    std::string utf8 = windows1252ToUtf8(relative);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return fs::path(path_) / fromUtf8(utf8);
}

void WorkFolder::write(std::string_view relative, std::string_view bytes) const {
    fs::create_directories(native(relative).parent_path());
    std::ofstream(native(relative), std::ios::binary) << bytes;
}

std::string WorkFolder::read(std::string_view relative) const {
    std::ifstream in(native(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool WorkFolder::make(const Tree& items) const {
    std::error_code error;
    for (const auto& [name, content] : items) {
        fs::path path = fs::path(parent_) / fromUtf8(name);
        fs::create_directories(path.parent_path(), error);
        if (name.ends_with('/')) {
            fs::create_directories(path, error);
        } else if (content.starts_with("-> ")) {
            error.assign(makeLink(content.substr(3), path) ? 0 : EPERM, std::generic_category());
        } else if (content.starts_with("=> ")) {
            fs::create_hard_link(fs::path(parent_) / fromUtf8(content.substr(3)), path, error);
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

namespace {

// Adds what lies in `folder`, `below` the tree's root ("" or ending in '/'),
// to the tree.
void addItems(const fs::path& folder, const std::string& below, Tree& tree) {
    for (const Item& item : itemsIn(folder)) {
        std::string name = below + item.name;
        fs::path path = folder / fromUtf8(item.name);
        if (tree.contains(name)) {
            continue;  // a link that the system goes through
        }
        if (item.kind == Item::Link) {
            tree[name] = "-> " + fs::read_symlink(path).generic_string();
        } else if (item.kind == Item::Folder) {
            tree[name + "/"] = "/";
            addItems(path, name + "/", tree);
        } else if (item.kind == Item::File && item.size > (1 << 20)) {
            tree[name] = "<sparse " + std::to_string(item.size) + ">";
        } else if (item.kind == Item::File) {
            std::ifstream in(path, std::ios::binary);
            tree[name].assign(std::istreambuf_iterator<char>(in), {});
        } else {
            tree[name] = "<pipe>";
        }
    }
}

}  // namespace

Tree WorkFolder::tree() const {
    Tree tree = unixLinks(parent_);
    addItems(longForm(parent_), "", tree);
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

std::vector<std::string> repackLog(const std::vector<std::string>& names, bool done) {
    std::vector<std::string> log = {"Reading metadata from manifest...", "Writing metadata..."};
    for (const std::string& name : names) {
        log.push_back("Repacking " + name + "...");
    }
    log.resize(log.size() + (done ? 1 : 0), "Done!");
    return log;
}

}  // namespace zrk::test
