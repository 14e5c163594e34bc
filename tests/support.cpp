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

// The path as it stands: on Windows in the \\?\ form, which keeps the dots and
// spaces that end a name.
fs::path verbatim(fs::path path) {
#ifdef _WIN32
    return L"\\\\?\\" + path.make_preferred().native();
#else
    return path;
#endif
}

fs::path fromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string textOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An item of a tree as the Tree shows it, by its kind: 'd' a folder, 'l' a
// link, 'f' a file, anything else a pipe.
std::string shown(char kind, std::uintmax_t size, const std::string& target, const fs::path& file) {
    if (kind == 'f') {
        return size > (1 << 20) ? "<sparse " + std::to_string(size) + ">" : textOf(file);
    }
    return kind == 'd' ? "/" : kind == 'l' ? "-> " + target : "<pipe>";
}

// Everything below `root`, as the system lists it.
Tree listedBelow(const fs::path& root) {
    Tree tree;
    for (auto item = fs::recursive_directory_iterator(root); item != fs::end(item); ++item) {
        std::u8string utf8 = item->path().lexically_relative(root).generic_u8string();
        std::string name(utf8.begin(), utf8.end());
        char kind = item->is_symlink()        ? 'l'
                    : item->is_directory()    ? 'd'
                    : item->is_regular_file() ? 'f'
                                              : 'p';
        std::string target = kind == 'l' ? fs::read_symlink(item->path()).generic_string() : "";
        tree[kind == 'd' ? name + "/" : name] =
            shown(kind, kind == 'f' ? item->file_size() : 0, target, item->path());
    }
    return tree;
}

#ifdef _WIN32
const fs::path kUnixShell = "Z:\\bin\\sh";  // where Wine shows it

bool underWine() {
    std::error_code error;
    return fs::exists(kUnixShell, error);
}

std::string shellQuoted(const fs::path& path) {
    std::u8string utf8 = path.generic_u8string();
    std::string text(utf8.begin(), utf8.end());
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

// Under Wine the Unix side lists the tree: Wine goes through a link or, where
// its target is missing, hides it, and std::filesystem on mingw lists no path
// past 260 characters. Files are read in the \\?\ form, which takes any length.
Tree treeBelow(const std::string& root) {
    if (!underWine() || !runUnixScript(root,
                                       "find . -mindepth 1 ! -name '.zrk-*' "
                                       "-printf '%y\\t%s\\t%l\\t%P\\n' > .zrk-tree")) {
        return listedBelow(root);
    }
    Tree tree;
    std::ifstream in(fs::path(root) / ".zrk-tree", std::ios::binary);
    for (std::string kind, size, target, name;
         std::getline(in, kind, '\t') && std::getline(in, size, '\t') &&
         std::getline(in, target, '\t') && std::getline(in, name);) {
        fs::path file = fs::path(L"\\\\?\\" + fs::path(root).native()) / fromUtf8(name);
        file.make_preferred();  // the \\?\ form takes no '/'
        tree[kind == "d" ? name + "/" : name] = shown(kind[0], std::stoull(size), target, file);
    }
    in.close();
    fs::remove(fs::path(root) / ".zrk-tree");
    return tree;
}

// Under Wine a Unix shell removes the folder: Wine deletes what a link points
// to rather than the link.
void removeAll(const fs::path& folder) {
    std::error_code error;
    if (!underWine() ||
        !runUnixScript(folder.parent_path(), "rm -rf -- " + shellQuoted(folder.filename()))) {
        fs::remove_all(folder, error);
    }
}
#else
Tree treeBelow(const std::string& root) {
    return listedBelow(root);
}

void removeAll(const fs::path& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
}
#endif

}  // namespace

void makeLink(const std::string& target, const fs::path& at, std::error_code& error) {
#ifdef _WIN32
    // Wine makes no link of its own (CreateSymbolicLinkW reports success and
    // makes nothing), so a Unix shell under it makes one: Wine shows such a
    // link to a Windows program as a reparse point, or goes through it.
    if (underWine()) {
        std::string script = "ln -s -- " + shellQuoted(target) + " " + shellQuoted(at.filename());
        error.assign(runUnixScript(at.parent_path(), script) ? 0 : EPERM, std::generic_category());
        return;
    }
#endif
    fs::create_symlink(target, at, error);
}

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
    return textOf(native(relative));
}

bool WorkFolder::make(const Tree& items) const {
    std::error_code error;
    for (const auto& [name, content] : items) {
        fs::path path = fs::path(parent_) / fromUtf8(name), exact = verbatim(path);
        fs::create_directories(exact.parent_path(), error);
        if (name.ends_with('/')) {
            fs::create_directories(exact, error);
        } else if (content.starts_with("-> ")) {
            makeLink(content.substr(3), path, error);
        } else if (content.starts_with("=> ")) {
            fs::create_hard_link(fs::path(parent_) / fromUtf8(content.substr(3)), path, error);
        } else if (content.starts_with("<sparse ")) {
            std::ofstream(exact, std::ios::binary) << content.substr(content.find('>') + 1);
            fs::resize_file(exact, std::stoull(content.substr(8)), error);
        } else if (content == "<pipe>") {
#ifdef _WIN32
            return false;
#else
            error.assign(::mkfifo(path.string().c_str(), 0666) == 0 ? 0 : errno,
                         std::generic_category());
#endif
        } else {
            std::ofstream(exact, std::ios::binary) << content;
        }
        if (error) {
            return false;
        }
    }
    return true;
}

Tree WorkFolder::tree() const {
    return treeBelow(parent_);
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
