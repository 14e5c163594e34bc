// The Linux stand-in for the tool window: the log goes to standard output, a
// line at a time, and an error that ends the run to standard error.
//
// Interrupting the process (SIGINT, SIGTERM) ends it at once, as closing the
// window would. Nothing written is lost that way: files are written through
// the system's own handles without buffers of our own, and every log line is
// handed to the system as soon as it is logged.

#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <exception>
#include <string>

#include "ansi_text.h"
#include "console_options.h"
#include "tool_window.h"

namespace zrk {

namespace {

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return;  // nowhere to show the log; the job goes on regardless
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
}

class ConsoleWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override {
        writeAll(STDOUT_FILENO, ansiToNative(message) + "\n");
    }

    void processEvents() override {}
};

}  // namespace

int runToolProgram(const ToolProgram& program, int argc, char** argv) {
    // A reader that went away must not end the job; the log is then lost.
    std::signal(SIGPIPE, SIG_IGN);
    if (std::optional<int> exitCode = applyConsoleOptions(program, argc, argv)) {
        return *exitCode;
    }
    ConsoleWindow window;
    try {
        program.job(window);
    } catch (const std::exception& error) {
        writeAll(STDERR_FILENO, "error: " + errorReport(error) + "\n");
        return 1;
    }
    return 0;
}

}  // namespace zrk
