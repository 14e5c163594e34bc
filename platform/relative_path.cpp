#include "relative_path.h"

namespace zrk {

bool RelativePath::isTheManifest() const {
    return partsNameTheManifest(parts_, hostNameRules());
}

RelativePath RelativePath::parent() const {
    return RelativePath(std::vector<std::string>(parts_.begin(), parts_.end() - 1));
}

}  // namespace zrk
