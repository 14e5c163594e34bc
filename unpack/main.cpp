#include "native_path.h"
#include "tool_window.h"
#include "unpack_job.h"

int main() {
    return zrk::runToolProgram({"UnpackForm", "Unpack", [](zrk::ToolWindow& window) {
                                    zrk::runUnpack(window, zrk::currentWorkDir());
                                }});
}
