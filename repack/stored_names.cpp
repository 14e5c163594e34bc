#include "stored_names.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "ansi_text.h"

namespace zrk {

void StoredNames::add(const ManifestLine& line, ToolWindow& window) {
    lines_.push_back(line.lineNumber);
    std::string_view stored = storedName(line.name);
    if (stored.size() < line.name.size()) {
        window.warn(manifestLineLabel(line.lineNumber) + ": the name " + quote(line.name) + " is " +
                    std::to_string(line.name.size()) + " bytes long and is stored cut to " +
                    std::to_string(kNameWidth) + ": " + quote(stored));
    }
}

// The entries sorted by stored name, each group in line order, rather than a
// set of names: it takes no more than an index per entry.
void StoredNames::warnOfSharedNames(const std::vector<ArchiveEntry>& entries,
                                    ToolWindow& window) const {
    std::vector<std::uint32_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    auto stored = [&](std::uint32_t k) { return storedName(entries[k].name); };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return stored(a) < stored(b); });
    std::vector<std::pair<std::uint32_t, std::uint32_t>> shared;  // a later entry, the first
    for (std::size_t i = 1, first = 0; i < order.size(); ++i) {
        if (stored(order[i]) != stored(order[first])) {
            first = i;
        } else {
            shared.emplace_back(order[i], order[first]);
        }
    }
    std::sort(shared.begin(), shared.end());
    for (auto [later, first] : shared) {
        window.warn(manifestLineLabel(lines_[later]) + ": " + quote(entries[later].name) +
                    " is stored under the same name as line " + std::to_string(lines_[first]) +
                    ", " + quote(stored(first)) +
                    "; unpacking the new archive gives one file for both, holding the later entry");
    }
}

}  // namespace zrk
