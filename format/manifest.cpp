#include "manifest.h"

#include <charconv>
#include <limits>

#include "ansi_text.h"
#include "errors.h"
#include "utf8_text.h"

namespace zrk {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

std::string_view trimSpaces(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Refuses a line (without its line end) longer than any line that names a file.
void checkLineLength(std::size_t length, std::int64_t lineNumber) {
    if (length > kMaxManifestLineLength) {
        throw ToolError(manifestLineLabel(lineNumber) + " is longer than " +
                        std::to_string(kMaxManifestLineLength) + " bytes");
    }
}

// Read as code-page text, a byte order mark would become the first name's
// first three characters, and that file is never there.
void checkNoByteOrderMark(std::string_view firstLine) {
    if (startsWithUtf8ByteOrderMark(firstLine)) {
        throw ToolError(manifestLineLabel(1) + " begins with a UTF-8 byte order mark, but " +
                        manifestCodePageAdvice() + ", without the mark");
    }
}

}  // namespace

std::string manifestCodePageAdvice() {
    return "the manifest is read in " + std::string(ansiCodePageName()) +
           ": save it in that code page";
}

std::string manifestLineLabel(std::int64_t lineNumber) {
    return "manifest.txt line " + std::to_string(lineNumber);
}

std::string formatManifestLine(const ArchiveEntry& entry) {
    return entry.name + "," + std::to_string(entry.declaredLength) + std::string(kManifestLineEnd);
}

ManifestLine splitManifestLine(std::string_view line, std::int64_t lineNumber) {
    std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
        throw ToolError(manifestLineLabel(lineNumber) + ": no comma between name and length in " +
                        quote(line));
    }
    return ManifestLine{std::string(trimSpaces(line.substr(0, comma))),
                        std::string(trimSpaces(line.substr(comma + 1))), lineNumber};
}

std::int32_t parseManifestNumber(const ManifestLine& line) {
    std::string_view text = line.lengthText;
    std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    bool allDigits = !digits.empty() && digits.find_first_not_of("0123456789") == digits.npos;
    if (!allDigits) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": the length " + quote(text) +
                        " of " + quote(line.name) + " is not a whole number");
    }
    // Only a sign and digits are left, so the one failure is the range.
    std::int32_t value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) {
        throw ToolError(manifestLineLabel(line.lineNumber) + ": the length " + quote(text) +
                        " of " + quote(line.name) + " is outside -2147483648 to 2147483647");
    }
    return value;
}

ManifestReader::ManifestReader(ReadFunction read) : read_(std::move(read)) {}

std::optional<ManifestLine> ManifestReader::next() {
    while (std::optional<std::string> line = nextRawLine()) {
        if (lineNumber_ == 1) {
            checkNoByteOrderMark(*line);
        }
        if (!line->empty()) {
            return splitManifestLine(*line, lineNumber_);
        }
    }
    return std::nullopt;
}

bool ManifestReader::fill() {
    if (ended_) {
        return false;
    }
    buffer_.erase(0, start_);
    start_ = 0;
    std::size_t kept = buffer_.size();
    buffer_.resize(kept + kReadChunk);
    std::size_t got = read_(buffer_.data() + kept, kReadChunk);
    buffer_.resize(kept + got);
    ended_ = got == 0;
    return got != 0;
}

std::optional<std::string> ManifestReader::nextRawLine() {
    std::size_t searched = start_;
    for (;;) {
        std::size_t feed = buffer_.find('\n', searched);
        if (feed != std::string::npos) {
            std::size_t end = (feed > start_ && buffer_[feed - 1] == '\r') ? feed - 1 : feed;
            checkLineLength(end - start_, lineNumber_ + 1);
            std::string line = buffer_.substr(start_, end - start_);
            start_ = feed + 1;
            ++lineNumber_;
            return line;
        }
        // Without its line end yet, the line is kept only up to the longest
        // allowed and a carriage return.
        if (std::size_t pending = buffer_.size() - start_; pending > 0) {
            checkLineLength(pending - 1, lineNumber_ + 1);
        }
        searched = buffer_.size();
        std::size_t consumed = start_;
        if (!fill()) {
            if (start_ == buffer_.size()) {
                return std::nullopt;
            }
            std::string line = buffer_.substr(start_);
            start_ = buffer_.size();
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            checkLineLength(line.size(), lineNumber_ + 1);
            ++lineNumber_;
            return line;
        }
        searched -= consumed;
    }
}

}  // namespace zrk
