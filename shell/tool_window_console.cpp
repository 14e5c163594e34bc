// The Linux stand-in for the tool window: the log goes to standard output, a
// line at a time, and an error that ends the run to standard error.
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

// UTF-8 text with the C0 controls, DEL and the C1 controls (U+0080 to
// U+009F, where the code page's unassigned bytes land) written as a backslash
// and their decimal value, and a line end.
std::string terminalLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            line += '\\' + std::to_string(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            line += '\\' + std::to_string(next);
            ++i;
        } else {
            line += static_cast<char>(byte);
        }
    }
    return line + '\n';
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

class ConsoleWindow final : public ToolWindow {
public:
    void appendLog(std::string_view message) override {
        writeAll(STDOUT_FILENO, terminalLine(ansiToNative(message)));
    }

    void processEvents() override {}
};

}  // namespace

int runToolProgram(const ToolProgram& program, int argc, char** argv) {
    if (!openClosedStandardStreams()) {
        return 1;
    }
    // A reader that went away must not end the job; the log is then lost.
    std::signal(SIGPIPE, SIG_IGN);
    if (std::optional<int> exitCode = applyConsoleOptions(program, argc, argv)) {
        return *exitCode;
    }
    ConsoleWindow window;
    try {
        program.job(window, openWorkFolder());
    } catch (const std::exception& error) {
        writeAll(STDERR_FILENO, terminalLine("error: " + errorReport(error)));
        return 1;
    }
    return 0;
}

}  // namespace zrk
