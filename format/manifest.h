#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "archive_format.h"

namespace zrk {

// One manifest line split at its first comma, both parts trimmed of spaces.
struct ManifestLine {
    std::string name;
    std::string lengthText;       // the declared length as the line gives it
    std::int64_t lineNumber = 0;  // from 1, counting empty lines too
};

// A line longer than this cannot name a file; the reader refuses it rather
// than holding an unbounded line in memory.
inline constexpr std::size_t kMaxManifestLineLength = 64 * 1024;

inline constexpr std::string_view kManifestLineEnd = "\r\n";

// "manifest.txt line N", the start of every message about a manifest line.
std::string manifestLineLabel(std::int64_t lineNumber);

// What a manifest saved as UTF-8 is told to do: "the manifest is read in
// Windows-1252: save it in that code page", naming the target's code page.
std::string manifestCodePageAdvice();

// "NAME,DECLAREDLENGTH" and the line end.
std::string formatManifestLine(const ArchiveEntry& entry);

// Splits at the first comma; a line without one raises ToolError naming it.
ManifestLine splitManifestLine(std::string_view line, std::int64_t lineNumber);

// Decimal digits with an optional leading minus, in the signed 32-bit range.
std::int32_t parseManifestNumber(const ManifestLine& line);

// Reads manifest text through `read` (which fills up to n bytes and returns how
// many, 0 at the end) and gives its non-empty lines, split. Lines end in CR LF
// or LF; the last line needs no line end. Text that begins with a UTF-8 byte
// order mark raises ToolError: the manifest is code-page text.
class ManifestReader {
public:
    using ReadFunction = std::function<std::size_t(char* buffer, std::size_t size)>;

    explicit ManifestReader(ReadFunction read);

    std::optional<ManifestLine> next();

private:
    bool fill();
    std::optional<std::string> nextRawLine();

    ReadFunction read_;
    std::string buffer_;
    std::size_t start_ = 0;
    bool ended_ = false;
    std::int64_t lineNumber_ = 0;
};

}  // namespace zrk
