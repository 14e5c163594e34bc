#include "archive_listing.h"
#include "tool_window.h"
#include "unpack_job.h"

int main(int argc, char** argv) {
    return zrk::runToolProgram(
        {.windowClass = "UnpackForm",
         .caption = "Unpack",
         .job = zrk::runUnpack,
         .description =
             "Takes the archive ZRK.DAT in the current folder apart: every entry becomes a\n"
             "file in the folder Output beside it (replacing a file of the same name), and\n"
             "Output/manifest.txt lists the entries in order. ZRK.DAT itself is only read.\n",
         .input = "ZRK.DAT",
         .listing = zrk::listArchive,
         .listingHelp =
             "  -t, --list           only list the entries of ZRK.DAT, one a line: data\n"
             "                       length, declared length and name; nothing is written\n"
             "                       and no lock taken\n"},
        argc, argv);
}
