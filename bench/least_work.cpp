// The least work the file system requires of each job, as a reference for
// bench/run: no checks and no log, only the calls that the workload's files
// need, each file published whole as the programs publish theirs.
//   least_work unpack   in a folder holding ZRK.DAT: the archive mapped once,
//                       one folder made and opened per new folder, then per
//                       entry an unnamed file made in it, written, linked in
//                       under its name and closed.
//   least_work repack   in a folder holding Output/manifest.txt: open, read
//                       and close per file, each entry's bytes written into an
//                       unnamed file in entry order, then the header and
//                       directory; the file flushed to the device and linked
//                       in as ZRK.NEW.
// Linux only, like the rest of bench/.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive_format.h"
#include "manifest.h"

namespace {

using zrk::ArchiveEntry;

[[noreturn]] void fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

std::string pathOf(const std::string& name) {
    std::string path = "Output/" + name;
    for (char& c : path) {
        c = c == '\\' ? '/' : c;
    }
    return path;
}

// A new file in `folder` that has no name until it is linked in.
int unnamedFileIn(int folder) {
    int file = ::openat(folder, ".", O_TMPFILE | O_WRONLY, 0666);
    if (file < 0) {
        fail("O_TMPFILE");
    }
    return file;
}

void linkIn(int file, int folder, const char* name) {
    if (::linkat(file, "", folder, name, AT_EMPTY_PATH) != 0) {
        fail(name);
    }
}

void unpack() {
    int archive = ::open("ZRK.DAT", O_RDONLY);
    struct stat info {};
    if (archive < 0 || ::fstat(archive, &info) != 0) {
        fail("ZRK.DAT");
    }
    // Mapped, not read: each entry's bytes go from the page cache straight
    // into its file.
    auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, archive, 0);
    if (mapped == MAP_FAILED) {
        fail("mmap");
    }
    zrk::ByteView all(static_cast<const std::uint8_t*>(mapped), size);
    auto recordAt = [&](std::int64_t number) {
        auto at = static_cast<std::size_t>(zrk::fileOffset(zrk::recordPosition(number)));
        return zrk::decodeDirectoryRecord(all.subspan(at, zrk::kRecordSize), number);
    };
    std::int64_t count = zrk::directoryRecordCount(recordAt(1).dataOffset);
    ::mkdir("Output", 0777);
    std::unordered_map<std::string, int> folders;
    for (std::int64_t number = 1; number <= count; ++number) {
        ArchiveEntry entry = recordAt(number);
        std::string path = pathOf(entry.name);
        std::size_t cut = path.rfind('/');
        std::string folder = path.substr(0, cut);
        auto [held, made] = folders.try_emplace(folder, -1);
        if (made) {
            ::mkdir(folder.c_str(), 0777);
            held->second = ::open(folder.c_str(), O_PATH | O_DIRECTORY);
        }
        int out = unnamedFileIn(held->second);
        auto from = static_cast<std::size_t>(zrk::fileOffset(entry.dataOffset));
        if (::write(out, all.data() + from, static_cast<std::size_t>(entry.dataLength)) !=
            entry.dataLength) {
            fail(path);
        }
        linkIn(out, held->second, path.c_str() + cut + 1);
        ::close(out);
    }
}

void repack() {
    int manifest = ::open("Output/manifest.txt", O_RDONLY);
    if (manifest < 0) {
        fail("manifest");
    }
    zrk::ManifestReader reader([&](char* buffer, std::size_t size) {
        return static_cast<std::size_t>(::read(manifest, buffer, size));
    });
    std::vector<ArchiveEntry> entries;
    while (std::optional<zrk::ManifestLine> line = reader.next()) {
        entries.push_back({line->name, zrk::kindForName(line->name), 0, 0, 0});
    }
    ::close(manifest);
    int archive = unnamedFileIn(AT_FDCWD);
    std::vector<std::uint8_t> buffer(64 << 20);
    std::int64_t at =
        zrk::fileOffset(zrk::firstDataPosition(static_cast<std::int64_t>(entries.size())));
    for (ArchiveEntry& entry : entries) {
        int in = ::open(pathOf(entry.name).c_str(), O_RDONLY);
        if (in < 0) {
            fail(entry.name);
        }
        for (ssize_t got; (got = ::read(in, buffer.data(), buffer.size())) > 0;) {
            if (::pwrite(archive, buffer.data(), static_cast<std::size_t>(got), at) != got) {
                fail("ZRK.NEW");
            }
            at += got;
            entry.dataLength += static_cast<std::int32_t>(got);
            if (static_cast<std::size_t>(got) < buffer.size()) {
                break;  // a regular file gives all it has
            }
        }
        entry.declaredLength = entry.dataLength;
        ::close(in);
    }
    zrk::planLayout(entries);
    std::vector<std::uint8_t> head(zrk::kHeaderSize);
    zrk::ArchiveHeader header = zrk::encodeArchiveHeader(static_cast<std::int32_t>(entries.size()));
    std::memcpy(head.data(), header.data(), header.size());
    for (const ArchiveEntry& entry : entries) {
        zrk::DirectoryRecord record = zrk::encodeDirectoryRecord(entry);
        head.insert(head.end(), record.begin(), record.end());
    }
    if (::pwrite(archive, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()) ||
        ::fsync(archive) != 0) {
        fail("ZRK.NEW");
    }
    ::unlink("ZRK.NEW");
    linkIn(archive, AT_FDCWD, "ZRK.NEW");
    ::close(archive);
}

}  // namespace

int main(int argc, char** argv) {
    std::string job = argc == 2 ? argv[1] : "";
    if (job == "unpack") {
        unpack();
    } else if (job == "repack") {
        repack();
    } else {
        std::fprintf(stderr, "usage: least_work unpack|repack\n");
        return 2;
    }
    return 0;
}
