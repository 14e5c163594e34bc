#pragma once

#include <string_view>

namespace zrk {

// The files through which the two programs meet, all under the work folder.
inline constexpr std::string_view kArchiveName = "ZRK.DAT";
inline constexpr std::string_view kNewArchiveName = "ZRK.NEW";
inline constexpr std::string_view kOutputFolderName = "Output";
inline constexpr std::string_view kManifestName = "manifest.txt";

// How a file that a run is still writing is named where the file system
// cannot keep it without a name: this and 16 hex digits, in the folder it is
// going to. A run killed meanwhile leaves it behind; it is no entry and may be
// deleted. No entry may bear such a name.
inline constexpr std::string_view kTemporaryPrefix = ".zrk-unfinished-";

}  // namespace zrk
