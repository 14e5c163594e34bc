#include "tool_window.h"

int main() {
    return zrk::runToolProgram({"UnpackForm", "Unpack", [](zrk::ToolWindow&) {}});
}
