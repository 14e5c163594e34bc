#pragma once

#include <string>
#include <string_view>

#include "file_system.h"

namespace zrk {

// The files through which the two programs meet, all under the work folder.
inline constexpr std::string_view kArchiveName = "ZRK.DAT";
inline constexpr std::string_view kNewArchiveName = "ZRK.NEW";
inline constexpr std::string_view kOutputFolderName = "Output";
inline constexpr std::string_view kManifestName = "manifest.txt";

inline std::string archivePath(const std::string& workDir) {
    return nativeChildPath(workDir, kArchiveName);
}

inline std::string newArchivePath(const std::string& workDir) {
    return nativeChildPath(workDir, kNewArchiveName);
}

inline std::string manifestPath(const std::string& workDir) {
    return nativeChildPath(workDir,
                           std::string(kOutputFolderName) + "\\" + std::string(kManifestName));
}

// Where an entry's file lies; a backslash in the name makes a subfolder.
inline std::string entryPath(const std::string& workDir, std::string_view name) {
    return nativeChildPath(workDir, std::string(kOutputFolderName) + "\\" + std::string(name));
}

}  // namespace zrk
