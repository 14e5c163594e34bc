#include "tool_window.h"

int main() {
    return zrk::runToolProgram({"RepackForm", "Repack", [](zrk::ToolWindow&) {}});
}
