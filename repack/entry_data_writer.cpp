#include "entry_data_writer.h"

#include "errors.h"

namespace zrk {

namespace {

constexpr std::size_t kGatherBytes = 1 << 20;
// Longer entries are copied in the kernel, file to file.
constexpr std::int32_t kLargestGathered = 64 * 1024;

}  // namespace

EntryDataWriter::EntryDataWriter(File& archive) : archive_(archive), buffer_(kGatherBytes) {}

void EntryDataWriter::copy(const ArchiveEntry& entry, const std::string& path) {
    File source = File::openForReading(path);
    if (entry.dataLength <= kLargestGathered) {
        gather(source, entry);
    } else {
        copyInKernel(source, entry);
    }
    source.close();
}

void EntryDataWriter::flush() {
    archive_.writeAt(gatheredAt_, ByteView(buffer_.data(), gathered_));
    gatheredAt_ += static_cast<std::int64_t>(gathered_);
    gathered_ = 0;
}

void EntryDataWriter::gather(File& source, const ArchiveEntry& entry) {
    // Positions count from 1; file offsets from 0.
    std::int64_t at = std::int64_t{entry.dataOffset} - 1;
    auto length = static_cast<std::size_t>(entry.dataLength);
    if (gathered_ + length > buffer_.size() ||
        at != gatheredAt_ + static_cast<std::int64_t>(gathered_)) {
        flush();
        gatheredAt_ = at;
    }
    MutableByteView data(buffer_.data() + gathered_, length);
    if (std::size_t got = source.readAt(0, data); got < length) {
        failShrank(source, static_cast<std::int64_t>(got), entry);
    }
    gathered_ += length;
}

void EntryDataWriter::copyInKernel(File& source, const ArchiveEntry& entry) {
    flush();
    if (std::int64_t length = source.size(); length < entry.dataLength) {
        failShrank(source, length, entry);
    }
    std::int64_t at = std::int64_t{entry.dataOffset} - 1;
    copyBytes(source, 0, archive_, at, entry.dataLength);
    gatheredAt_ = at + entry.dataLength;
}

void EntryDataWriter::failShrank(const File& source, std::int64_t length,
                                 const ArchiveEntry& entry) {
    flush();
    throw ToolError(source.path() + " is now " + std::to_string(length) +
                    " bytes long, shorter than the " + std::to_string(entry.dataLength) +
                    " bytes it had when the manifest was read; ZRK.NEW is incomplete");
}

}  // namespace zrk
