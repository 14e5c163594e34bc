// Writes a benchmark archive, ZRK.DAT, into a folder, laid out as Repack
// writes archives:
//   many  50,000 entries of 1 to 8 KiB spread over 50 subfolders
//   big   8 entries, 1 GiB in all, the largest 512 MiB
// The data are pseudo-random, so that nothing compresses or deduplicates them.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "archive_format.h"
#include "errors.h"
#include "file.h"
#include "folder.h"
#include "work_files.h"

namespace {

using zrk::ArchiveEntry;

constexpr std::int32_t kKiB = 1024;
constexpr std::int32_t kMiB = 1024 * kKiB;
constexpr int kManyEntries = 50000;
constexpr int kManyFolders = 50;
constexpr std::size_t kChunk = 1 << 20;

struct Planned {
    std::string name;
    std::int32_t length;
};

std::uint64_t nextRandom(std::uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

std::vector<Planned> manyEntries() {
    std::vector<Planned> plan;
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    char name[32];
    for (int i = 0; i < kManyEntries; ++i) {
        std::snprintf(name, sizeof name, "D%02d\\F%05d.%s", i % kManyFolders, i,
                      i % 2 == 0 ? "PCM" : "BIN");
        auto length = static_cast<std::int32_t>(kKiB + nextRandom(state) % (7 * kKiB + 1));
        plan.push_back({name, length});
    }
    return plan;
}

std::vector<Planned> bigEntries() {
    std::vector<Planned> plan;
    const std::int32_t sizes[] = {512 * kMiB, 256 * kMiB, 128 * kMiB, 64 * kMiB,
                                  32 * kMiB,  16 * kMiB,  8 * kMiB,   8 * kMiB};
    for (int i = 0; i < 8; ++i) {
        plan.push_back({"BIG" + std::to_string(i) + (i % 2 == 0 ? ".PCM" : ".BIN"), sizes[i]});
    }
    return plan;
}

std::vector<ArchiveEntry> layOut(const std::vector<Planned>& plan) {
    std::vector<ArchiveEntry> entries;
    for (const Planned& item : plan) {
        entries.push_back({item.name, zrk::kindForName(item.name), item.length, item.length, 0});
    }
    zrk::planLayout(entries);
    return entries;
}

void writeDirectory(zrk::File& archive, const std::vector<ArchiveEntry>& entries) {
    std::vector<std::uint8_t> head(zrk::kHeaderSize + zrk::kRecordSize * entries.size());
    zrk::ArchiveHeader header = zrk::encodeArchiveHeader(static_cast<std::int32_t>(entries.size()));
    std::memcpy(head.data(), header.data(), header.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        zrk::DirectoryRecord record = zrk::encodeDirectoryRecord(entries[i]);
        std::memcpy(head.data() + zrk::kHeaderSize + i * zrk::kRecordSize, record.data(),
                    record.size());
    }
    archive.writeAt(0, head);
}

// All data in one stream, one chunk at a time.
void writeData(zrk::File& archive, const std::vector<ArchiveEntry>& entries) {
    std::int64_t at = zrk::fileOffset(entries.front().dataOffset);
    std::int64_t total = 0;
    for (const ArchiveEntry& entry : entries) {
        total += entry.dataLength;
    }
    std::vector<std::uint8_t> chunk(kChunk);
    std::uint64_t state = 0x2545F4914F6CDD1Du;
    while (total > 0) {
        for (std::size_t i = 0; i + 8 <= chunk.size(); i += 8) {
            std::uint64_t value = nextRandom(state);
            std::memcpy(chunk.data() + i, &value, 8);
        }
        auto count = static_cast<std::size_t>(std::min<std::int64_t>(total, kChunk));
        archive.writeAt(at, zrk::ByteView(chunk.data(), count));
        at += static_cast<std::int64_t>(count);
        total -= static_cast<std::int64_t>(count);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "many" && kind != "big") {
        std::fprintf(stderr, "usage: make_workload many|big FOLDER\n");
        return 2;
    }
    try {
        std::vector<ArchiveEntry> entries = layOut(kind == "many" ? manyEntries() : bigEntries());
        zrk::Folder folder = zrk::Folder::open(argv[2]);
        std::optional<std::string> refusal =
            folder.writeFile(zrk::kArchiveName, nullptr, [&](zrk::File& archive) {
                writeDirectory(archive, entries);
                writeData(archive, entries);
            });
        if (refusal) {
            throw zrk::ToolError("cannot write ZRK.DAT: " + *refusal);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_workload: %s\n", error.what());
        return 1;
    }
    return 0;
}
