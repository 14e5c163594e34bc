#include "repack_job.h"
#include "tool_window.h"

int main(int argc, char** argv) {
    return zrk::runToolProgram(
        {.windowClass = "RepackForm",
         .caption = "Repack",
         .job = zrk::runRepack,
         .description =
             "Builds the archive ZRK.NEW in the current folder from the files in the folder\n"
             "Output, in the order Output/manifest.txt lists them (replacing an earlier\n"
             "ZRK.NEW). The manifest and the files are only read.\n",
         .input = "Output/manifest.txt"},
        argc, argv);
}
