#include "native_path.h"
#include "repack_job.h"
#include "tool_window.h"

int main() {
    return zrk::runToolProgram({"RepackForm", "Repack", [](zrk::ToolWindow& window) {
                                    zrk::runRepack(window, zrk::currentWorkDir());
                                }});
}
