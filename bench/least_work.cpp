// The least work the file system requires of each job, as a reference for
// bench/run: no log, and no checks but Repack's measuring, which the job's
// order requires; only the calls that the workload's files need, each file
// published whole as the programs publish theirs.
//   least_work unpack   in a folder holding ZRK.DAT: the archive read in
//                       pieces of 1 MiB (a larger entry copied by the system), one
//                       folder made and opened per new folder, then per entry
//                       an unnamed file made in it, written, linked in under
//                       its name and closed. The archive is read, not mapped:
//                       a mapping of a file that another program shortens
//                       meanwhile kills the process (SIGBUS), and the job must
//                       live through that.
//   least_work repack   in a folder holding Output/manifest.txt: a status
//                       call per file while the manifest is read (each file
//                       measured before the directory is planned), relative to
//                       its folder, opened once per folder; then per
//                       file open, a status call on the opened file (the file
//                       measured, at its measured length), read and close,
//                       the entries' bytes gathered and
//                       written into an unnamed file 1 MiB at a time (all but
//                       the first MiB of a larger one copied by the system), then the
//                       header and directory; the file flushed to the device
//                       and linked in as ZRK.NEW.
// Linux only, like the rest of bench/.

#include <fcntl.h>
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

// Reads `length` bytes at `offset`, all of them.
void readAt(int file, std::uint8_t* into, std::size_t length, std::int64_t offset) {
    if (::pread(file, into, length, offset) != static_cast<ssize_t>(length)) {
        fail("ZRK.DAT");
    }
}

void unpack() {
    int archive = ::open("ZRK.DAT", O_RDONLY);
    if (archive < 0) {
        fail("ZRK.DAT");
    }
    std::uint8_t first[zrk::kRecordSize];
    readAt(archive, first, sizeof first, zrk::fileOffset(zrk::recordPosition(1)));
    std::int64_t count = zrk::directoryRecordCount(zrk::decodeDirectoryRecord(first, 1).dataOffset);
    std::vector<std::uint8_t> directory(static_cast<std::size_t>(count) * zrk::kRecordSize);
    readAt(archive, directory.data(), directory.size(), zrk::fileOffset(zrk::recordPosition(1)));
    ::mkdir("Output", 0777);
    std::unordered_map<std::string, int> folders;
    std::vector<std::uint8_t> piece(1 << 20);
    std::int64_t pieceStart = 0, pieceEnd = 0;
    for (std::int64_t number = 1; number <= count; ++number) {
        ArchiveEntry entry = zrk::decodeDirectoryRecord(
            zrk::ByteView(directory).subspan(
                static_cast<std::size_t>(number - 1) * zrk::kRecordSize, zrk::kRecordSize),
            number);
        std::string path = pathOf(entry.name);
        std::size_t cut = path.rfind('/');
        std::string folder = path.substr(0, cut);
        auto [held, made] = folders.try_emplace(folder, -1);
        if (made) {
            ::mkdir(folder.c_str(), 0777);
            held->second = ::open(folder.c_str(), O_PATH | O_DIRECTORY);
        }
        auto length = static_cast<std::size_t>(entry.dataLength);
        std::int64_t from = zrk::fileOffset(entry.dataOffset);
        int out = unnamedFileIn(held->second);
        if (length > piece.size()) {
            // The system copies it, without a pass through this process.
            loff_t in = from;
            for (std::size_t left = length; left > 0;) {
                ssize_t copied = ::copy_file_range(archive, &in, out, nullptr, left, 0);
                if (copied <= 0) {
                    fail(path);
                }
                left -= static_cast<std::size_t>(copied);
            }
        } else {
            if (from < pieceStart || from + entry.dataLength > pieceEnd) {
                ssize_t got = ::pread(archive, piece.data(), piece.size(), from);
                pieceStart = from;
                pieceEnd = from + (got > 0 ? got : 0);
            }
            if (::write(out, piece.data() + (from - pieceStart), length) != entry.dataLength) {
                fail(path);
            }
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
    std::vector<std::pair<ino_t, off_t>> measured;    // each file's identity and length
    std::vector<std::pair<int, std::string>> places;  // each file's held folder and own name
    std::unordered_map<std::string, int> folders;
    while (std::optional<zrk::ManifestLine> line = reader.next()) {
        entries.push_back({line->name, zrk::kindForName(line->name), 0, 0, 0});
        std::string path = pathOf(line->name);
        std::size_t cut = path.rfind('/');
        auto [held, made] = folders.try_emplace(path.substr(0, cut), -1);
        if (made) {
            held->second = ::open(held->first.c_str(), O_PATH | O_DIRECTORY);
        }
        const auto& [folder, name] = places.emplace_back(held->second, path.substr(cut + 1));
        struct stat status {};
        if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            fail(line->name);
        }
        measured.emplace_back(status.st_ino, status.st_size);
    }
    ::close(manifest);
    int archive = unnamedFileIn(AT_FDCWD);
    // Files read one after the other into one buffer, written out once it
    // holds 1 MiB; of a larger file the system copies all but its first MiB.
    constexpr std::size_t kPiece = 1 << 20;
    std::vector<std::uint8_t> buffer(2 * kPiece);
    std::size_t filled = 0;
    loff_t at = zrk::fileOffset(zrk::firstDataPosition(static_cast<std::int64_t>(entries.size())));
    auto writeOut = [&] {
        if (::pwrite(archive, buffer.data(), filled, at) != static_cast<ssize_t>(filled)) {
            fail("ZRK.NEW");
        }
        at += static_cast<loff_t>(filled);
        filled = 0;
    };
    for (std::size_t k = 0; k < entries.size(); ++k) {
        ArchiveEntry& entry = entries[k];
        int in = ::openat(places[k].first, places[k].second.c_str(), O_RDONLY);
        struct stat opened {};
        ssize_t got = in < 0 || ::fstat(in, &opened) != 0 ||
                              measured[k] != std::pair(opened.st_ino, opened.st_size)
                          ? -1
                          : ::read(in, buffer.data() + filled, kPiece);
        if (got < 0) {
            fail(entry.name);
        }
        filled += static_cast<std::size_t>(got);
        entry.dataLength = static_cast<std::int32_t>(got);
        if (static_cast<std::size_t>(got) == kPiece) {
            writeOut();
            for (ssize_t copied;
                 (copied = ::copy_file_range(in, nullptr, archive, &at, 1 << 30, 0)) > 0;) {
                entry.dataLength += static_cast<std::int32_t>(copied);
            }
        } else if (filled >= kPiece) {
            writeOut();
        }
        entry.declaredLength = entry.dataLength;
        ::close(in);
    }
    writeOut();
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
