#include "tool_window.h"
#include "unpack_job.h"

int main(int argc, char** argv) {
    return zrk::runToolProgram(
        {"UnpackForm", "Unpack", zrk::runUnpack,
         "Takes the archive ZRK.DAT in the current folder apart: every entry becomes a\n"
         "file in the folder Output beside it (replacing a file of the same name), and\n"
         "Output/manifest.txt lists the entries in order. ZRK.DAT itself is only read.\n"},
        argc, argv);
}
