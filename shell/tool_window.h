#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "folder.h"

namespace zrk {

// The one window of a program: a log list and a way to let the window system
// breathe while a job runs on the window's own thread.
class ToolWindow {
public:
    virtual ~ToolWindow() = default;

    // Adds a line (text in the ANSI code page) at the bottom of the log and
    // selects it, so that the newest line is in view.
    virtual void appendLog(std::string_view message) = 0;

    // Tells the user of what the job does otherwise than its input asks, where
    // the format cannot hold it, without ending the job. The text is in the
    // form error messages take (names through quote, see ansi_text.h); the log
    // stays as it is.
    virtual void warn(std::string_view message) = 0;

    // Handles whatever the window system has pending, once. Closing the window
    // here ends the process at once.
    virtual void processEvents() = 0;
};

// What a job that returns tells beyond its log: whether it did all of its
// work, and where it did not, what it left undone and why, in one line.
struct JobReport {
    bool complete = true;
    std::string shortfall;
    // The job found nothing to work on in its folder: the program may say
    // how to name another.
    bool nothingFound = false;
};

using ToolJob = std::function<JobReport(ToolWindow&, const Folder& workFolder)>;

struct ToolProgram {
    std::string windowClass;  // "UnpackForm", "RepackForm"
    std::string caption;      // the program's name
    // Runs in the work folder, which the program has opened and locked.
    ToolJob job;
    // What the job reads and writes, for the console form's --help.
    std::string description;
    // The file the job works on, below the work folder ("ZRK.DAT").
    std::string input;
    // The console form's -t (--list), where the program has one: lists what
    // the job would work on, reading only, in a work folder it does not lock.
    ToolJob listing = nullptr;
    std::string listingHelp = "";  // its lines in --help, laid out as the options'
};

// The text that reports an error which ended a job.
std::string errorReport(const std::exception& error);

// Opens the window, opens and locks the work folder (see work_folder.h), runs
// the job once the window shows, and reports an error that ends the job. Returns the process's exit
// code. The console form takes the command line's options first (see console_options.h); the
// Windows programs take no arguments and ignore them.
int runToolProgram(const ToolProgram& program, int argc, char** argv);

}  // namespace zrk
