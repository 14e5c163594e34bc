#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "manifest.h"
#include "tool_window.h"

namespace zrk {

// What the directory's 19-byte name field makes of the manifest's names: a
// longer name is stored cut, and two names may so become one, of which
// unpacking keeps a single file. The archive still holds every entry, so
// these are warnings, not errors.
class StoredNames {
public:
    // Warns, naming the line, when its name is stored cut or under the name
    // an earlier line's entry is stored under.
    void add(const ManifestLine& line, ToolWindow& window);

private:
    // Each stored name and the first line stored under it: no more than the
    // directory itself holds.
    std::unordered_map<std::string, std::int64_t> firstLines_;
};

}  // namespace zrk
