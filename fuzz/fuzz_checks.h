#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tool_window.h"

namespace zrk::fuzz {

// A window that keeps the log, so that a broken invariant can show it.
class LogWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override { lines.emplace_back(message); }
    void processEvents() override {}

    bool logged(std::string_view prefix) const {
        for (const std::string& line : lines) {
            if (line.starts_with(prefix)) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> lines;
};

// Stops the fuzzer with a report when an invariant does not hold: the input
// that broke it is saved as a crash.
inline void require(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "broken invariant: %s\n", invariant);
        __builtin_trap();
    }
}

}  // namespace zrk::fuzz
