#include "stored_names.h"

#include "ansi_text.h"
#include "archive_format.h"

namespace zrk {

void StoredNames::add(const ManifestLine& line, ToolWindow& window) {
    std::string_view stored = storedName(line.name);
    std::string label = manifestLineLabel(line.lineNumber) + ": ";
    if (stored.size() < line.name.size()) {
        window.warn(label + "the name " + quote(line.name) + " is " +
                    std::to_string(line.name.size()) + " bytes long and is stored cut to " +
                    std::to_string(kNameWidth) + ": " + quote(stored));
    }
    auto [first, isNew] = firstLines_.try_emplace(std::string(stored), line.lineNumber);
    if (!isNew) {
        window.warn(label + quote(line.name) + " is stored under the same name as line " +
                    std::to_string(first->second) + ", " + quote(stored) +
                    "; unpacking the new archive gives one file for both, holding the later "
                    "entry");
    }
}

}  // namespace zrk
