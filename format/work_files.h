#pragma once

#include <string_view>

namespace zrk {

// The files through which the two programs meet, all under the work folder.
inline constexpr std::string_view kArchiveName = "ZRK.DAT";
inline constexpr std::string_view kNewArchiveName = "ZRK.NEW";
inline constexpr std::string_view kOutputFolderName = "Output";
inline constexpr std::string_view kManifestName = "manifest.txt";

}  // namespace zrk
