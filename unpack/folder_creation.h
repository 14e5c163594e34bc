#pragma once

#include <string>

namespace zrk {

// Makes sure the folder that `filePath` goes into exists, creating missing
// levels one by one from the root down. The folder is the path up to its last
// separator, or the whole path when it has none. True when the folder was
// there or its last level was made; false as soon as a level cannot be made
// (levels made before it stay). Never touches the file itself.
bool ensureFolderFor(const std::string& filePath);

}  // namespace zrk
