#include "repack_job.h"
#include "tool_window.h"

int main(int argc, char** argv) {
    return zrk::runToolProgram(
        {"RepackForm", "Repack", zrk::runRepack,
         "Builds the archive ZRK.NEW in the current folder from the files in the folder\n"
         "Output, in the order Output/manifest.txt lists them (replacing an earlier\n"
         "ZRK.NEW). The manifest and the files are only read.\n"},
        argc, argv);
}
