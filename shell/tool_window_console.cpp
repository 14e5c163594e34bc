// The Linux stand-in for the tool window: the log goes to standard output, a
// line at a time, and warnings and an error that ends the run to standard
// error.
//
// Interrupting the process (SIGINT, SIGTERM) ends it at once, as closing the
// window would. Nothing written is lost that way: files are written through
// the system's own handles without buffers of our own, and every log line is
// handed to the system as soon as it is logged.
//
// Text reaches the terminal with every control character escaped, as names
// from an archive are: a name or a path must not move the cursor, colour the
// screen or send the terminal commands.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cerrno>
#include <exception>
#include <string>

#include "ansi_text.h"
#include "console_options.h"
#include "tool_window.h"
#include "work_folder.h"

namespace zrk {

namespace {

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t put = ::write(fd, text.data(), text.size());
        if (put <= 0) {
            return;  // nowhere to show the log; the job goes on regardless
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
}

// A line of text for the terminal: every control character escaped, so that
// nothing in a name or a path moves the cursor or commands the terminal.
std::string terminalLine(std::string_view text) {
    return escapeControls(text, Controls::Terminal) + '\n';
}

// A closed standard stream is opened on /dev/null, so that no file a job
// opens can take its number and receive the log. False when that fails.
bool openClosedStandardStreams() {
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
        if (::fcntl(stream, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free number: the closed stream's own.
            if (::open("/dev/null", O_RDWR) != stream) {
                return false;
            }
        }
    }
    return true;
}

// The line that says where a run fell short, and where it found nothing, how
// to send it to the right folder.
std::string shortfallLine(const ToolProgram& program, const JobReport& report) {
    std::string name = commandName(program);
    std::string line = name + ": " + report.shortfall;
    if (report.nothingFound) {
        line += "; run " + name + " in the folder that holds it, or name that folder with -C DIR";
    }
    return line;
}

class ConsoleWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override {
        // Most lines are printable ASCII, which stands as it is: no copy but
        // into the line kept for the next one.
        bool plain = std::all_of(message.begin(), message.end(),
                                 [](char c) { return c >= 0x20 && c < 0x7F; });
        if (plain) {
            line_.assign(message) += '\n';
        } else {
            line_ = terminalLine(shownText(message));
        }
        writeAll(STDOUT_FILENO, line_);
    }

    void warn(std::string_view message) override {
        writeAll(STDERR_FILENO, terminalLine("warning: " + std::string(message)));
    }

    void processEvents() override {}

private:
    std::string line_;
};

}  // namespace

int runToolProgram(const ToolProgram& program, int argc, char** argv) {
    if (!openClosedStandardStreams()) {
        return 1;
    }
    // A reader that went away must not end the job; the log is then lost.
    std::signal(SIGPIPE, SIG_IGN);
    // Nor a file-size limit (ulimit -f): past it the write fails, and the error
    // names the file, where the signal would end the run without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    ConsoleRequest request = applyConsoleOptions(program, argc, argv);
    if (request.exitCode) {
        return *request.exitCode;
    }
    ConsoleWindow window;
    JobReport report;
    try {
        if (request.listing) {
            // Reads only, so it takes no lock: it works beside a run and
            // where it may not write.
            report = program.listing(window, Folder::openCurrent());
        } else {
            LockedFolder work = openWorkFolder();
            report = program.job(window, work.folder);
        }
    } catch (const std::exception& error) {
        writeAll(STDERR_FILENO, terminalLine("error: " + errorReport(error)));
        return 1;
    }
    if (!report.complete) {
        writeAll(STDERR_FILENO, terminalLine(shortfallLine(program, report)));
        return 1;
    }
    return 0;
}

}  // namespace zrk
