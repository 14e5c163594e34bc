// Drives Unpack.exe and Repack.exe from outside, as a user and the window
// system would: starts a program in a prepared folder, finds its window by
// class and caption, reads its log list through list-box messages, resizes and
// closes the window, and then checks the files the program left.
//
//   gui_driver CASE UNPACK_EXE REPACK_EXE
//
// Exit code 0 when every check of the case passed. Each failed check is
// printed on its own line.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

constexpr DWORD kTimeoutMs = 30000;
constexpr DWORD kPollMs = 20;

// The window's client area as first shown, in twips.
constexpr int kClientWidthTwips = 7410;
constexpr int kClientHeightTwips = 6075;
constexpr int kTwipsPerInch = 1440;

using zrk::kHeaderSize;
using zrk::kRecordSize;

// A message box's text control.
constexpr int kMessageBoxTextId = 0xFFFF;

class Report {
public:
    void expect(bool ok, const std::string& what) {
        if (!ok) {
            ++failures_;
            std::printf("FAILED: %s\n", what.c_str());
            std::fflush(stdout);
        }
    }

    template <typename T>
    void expectEqual(const T& actual, const T& expected, const std::string& what) {
        expect(actual == expected, what);
    }

    void expectLines(const Lines& actual, const Lines& expected, const std::string& what) {
        bool same = actual == expected;
        expect(same, what);
        if (!same) {
            for (const auto& line : actual) {
                std::printf("    got: \"%s\"\n", line.c_str());
            }
        }
    }

    int exitCode() const { return failures_ == 0 ? 0 : 1; }

private:
    int failures_ = 0;
};

// ---- files -----------------------------------------------------------------

std::string windowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

using zrk::test::bytesOf;
using zrk::test::patternBytes;
using zrk::test::TempFolder;
using zrk::test::writeNativeFile;

std::optional<Bytes> readFile(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file, &size);
    Bytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    bool ok = bytes.empty() ||
              (::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
               got == bytes.size());
    ::CloseHandle(file);
    return ok ? std::optional<Bytes>(bytes) : std::nullopt;
}

bool exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---- archives --------------------------------------------------------------

struct Entry {
    std::string name;
    Bytes data;
    std::int32_t declaredLength;
};

// The archive laid out as Repack writes it.
Bytes archiveOf(const std::vector<Entry>& entries) {
    zrk::test::ArchiveBuilder builder;
    for (const Entry& entry : entries) {
        builder.add(entry.name, entry.data, std::nullopt, entry.declaredLength);
    }
    return builder.build();
}

std::string manifestOf(const std::vector<Entry>& entries) {
    std::string text;
    for (const Entry& entry : entries) {
        text += entry.name + "," + std::to_string(entry.declaredLength) + "\r\n";
    }
    return text;
}

std::vector<Entry> twoEntries() {
    return {{"A.PCM", patternBytes(100, 1), 100}, {"B.BIN", patternBytes(50, 2), 96}};
}

// Many entries, so that a job takes long enough to be closed in the middle.
std::vector<Entry> manyEntries() {
    constexpr int kCount = 200;
    constexpr std::size_t kSize = 256 * 1024;
    std::vector<Entry> entries;
    for (int k = 1; k <= kCount; ++k) {
        char name[16];
        std::snprintf(name, sizeof(name), "E%03d.BIN", k);
        entries.push_back({name, patternBytes(kSize, static_cast<std::uint32_t>(k)), k});
    }
    return entries;
}

// ---- the programs and their windows ----------------------------------------

struct ProgramKind {
    std::string exe;
    std::string formName;
    std::string caption;
};

std::string windowClass(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string windowText(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    char ansi[2048] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), nullptr, nullptr);
    return ansi;
}

bool waitFor(const std::function<bool()>& condition) {
    for (DWORD waited = 0; waited < kTimeoutMs; waited += kPollMs) {
        if (condition()) {
            return true;
        }
        ::Sleep(kPollMs);
    }
    return condition();
}

class RunningProgram {
public:
    RunningProgram(const ProgramKind& kind, const std::string& workDir) : kind_(kind) {
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        std::string commandLine = "\"" + kind.exe + "\"";
        if (!::CreateProcessA(kind.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, workDir.c_str(), &startup, &process_)) {
            std::printf("cannot start %s in %s\n", kind.exe.c_str(), workDir.c_str());
            std::exit(2);
        }
    }

    ~RunningProgram() {
        if (!hasEnded(0)) {
            ::TerminateProcess(process_.hProcess, 99);
        }
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }

    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // The process's top-level window of the given class and caption.
    HWND findWindow(const std::string& className, const std::string& caption) {
        struct Search {
            DWORD processId;
            std::string className, caption;
            HWND found;
        } search{process_.dwProcessId, className, caption, nullptr};
        waitFor([&] {
            ::EnumWindows(
                [](HWND window, LPARAM data) -> BOOL {
                    auto& s = *reinterpret_cast<Search*>(data);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    if (owner == s.processId && windowClass(window) == s.className &&
                        windowText(window) == s.caption && ::IsWindowVisible(window)) {
                        s.found = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        });
        return search.found;
    }

    HWND findMainWindow() { return findWindow(kind_.formName, kind_.caption); }

    void waitUntilIdle() { ::WaitForInputIdle(process_.hProcess, kTimeoutMs); }

    bool hasEnded(DWORD waitMs) {
        return ::WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
    }

    DWORD exitCode() {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    ProgramKind kind_;
    PROCESS_INFORMATION process_{};
};

HWND logListOf(HWND window) {
    return ::FindWindowExA(window, nullptr, "ListBox", nullptr);
}

std::optional<LRESULT> ask(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(list, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs,
                               &result)) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

// The log's lines. Across processes only the wide messages give the text
// intact; it is turned back into the ANSI code page here.
std::optional<Lines> readLog(HWND list) {
    std::optional<LRESULT> count = ask(list, LB_GETCOUNT, 0, 0);
    if (!count || *count < 0) {
        return std::nullopt;
    }
    Lines lines;
    for (LRESULT i = 0; i < *count; ++i) {
        std::optional<LRESULT> length = ask(list, LB_GETTEXTLEN, i, 0);
        if (!length || *length < 0) {
            return std::nullopt;
        }
        std::wstring wide(static_cast<std::size_t>(*length) + 1, L'\0');
        ask(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        wide.resize(static_cast<std::size_t>(*length));
        std::string ansi(wide.size() * 2 + 1, '\0');
        int size =
            ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                  ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr);
        ansi.resize(static_cast<std::size_t>(std::max(size, 0)));
        lines.push_back(ansi);
    }
    return lines;
}

Lines waitForLog(HWND list, const std::function<bool(const Lines&)>& done) {
    Lines lines;
    waitFor([&] {
        lines = readLog(list).value_or(Lines{});
        return done(lines);
    });
    return lines;
}

bool endsWithDone(const Lines& lines) {
    return !lines.empty() && lines.back() == "Done!";
}

LRESULT selectedLine(HWND list) {
    return ask(list, LB_GETCURSEL, 0, 0).value_or(-2);
}

SIZE expectedClientSize() {
    HDC screen = ::GetDC(nullptr);
    SIZE size{::MulDiv(kClientWidthTwips, ::GetDeviceCaps(screen, LOGPIXELSX), kTwipsPerInch),
              ::MulDiv(kClientHeightTwips, ::GetDeviceCaps(screen, LOGPIXELSY), kTwipsPerInch)};
    ::ReleaseDC(nullptr, screen);
    return size;
}

RECT clientRect(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return client;
}

std::string describe(const RECT& rect) {
    char text[96];
    std::snprintf(text, sizeof(text), "(%ld,%ld)-(%ld,%ld)", rect.left, rect.top, rect.right,
                  rect.bottom);
    return text;
}

// The list's outer edges in the window's client coordinates.
RECT listArea(HWND window, HWND list) {
    RECT area{};
    ::GetWindowRect(list, &area);
    ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&area), 2);
    return area;
}

// Whether the list's outer edges are exactly those of the client area. The
// other process may still be settling the window, so this waits a while.
void expectListCoversClient(Report& report, HWND window, HWND list, const std::string& what) {
    auto covers = [&] {
        RECT client = clientRect(window);
        RECT area = listArea(window, list);
        return ::EqualRect(&client, &area) != FALSE;
    };
    waitFor(covers);
    report.expect(covers(), "the list covers the client area " + what + ": list " +
                                describe(listArea(window, list)) + ", client " +
                                describe(clientRect(window)));
}

void checkResizing(Report& report, HWND window, HWND list, const std::string& what) {
    const SIZE sizes[] = {{700, 520}, {260, 180}, {520, 430}};
    for (const SIZE& size : sizes) {
        ::SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        expectListCoversClient(
            report, window, list,
            what + " resized to " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
    }
}

void closeAndExpectEnd(Report& report, RunningProgram& program, HWND window,
                       const std::string& what) {
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    report.expect(program.hasEnded(kTimeoutMs), what + ": the process ends on WM_CLOSE");
    report.expectEqual(program.exitCode(), DWORD{0}, what + ": exit code 0 after closing");
}

void expectFile(Report& report, const std::string& path, const Bytes& expected) {
    std::optional<Bytes> actual = readFile(path);
    report.expect(actual.has_value(), path + " is there");
    report.expect(actual && *actual == expected, path + " holds exactly the expected bytes");
}

// ---- the cases -------------------------------------------------------------

struct Programs {
    ProgramKind unpack;
    ProgramKind repack;
};

// The window itself: class, caption, size, the one list filling it, resizing
// and closing. The folder holds nothing for the job to work on.
void windowCase(Report& report, const Programs& programs) {
    for (const ProgramKind& kind : {programs.unpack, programs.repack}) {
        TempFolder folder;
        RunningProgram program(kind, folder.workDir());
        HWND window = program.findMainWindow();
        report.expect(window != nullptr,
                      kind.caption + ": a window of class " + kind.formName + " appears");
        if (window == nullptr) {
            continue;
        }
        program.waitUntilIdle();
        HWND list = logListOf(window);
        report.expect(list != nullptr, kind.caption + ": the window holds a list box");
        report.expect(::FindWindowExA(window, list, nullptr, nullptr) == nullptr,
                      kind.caption + ": the list is the only control");
        report.expect(::GetMenu(window) == nullptr, kind.caption + ": no menu");
        LONG style = ::GetWindowLongA(window, GWL_STYLE);
        report.expect((style & WS_THICKFRAME) != 0, kind.caption + ": the window is resizable");
        LONG listStyle = ::GetWindowLongA(list, GWL_STYLE);
        report.expect((listStyle & LBS_SORT) == 0, kind.caption + ": the log is not sorted");

        RECT client = clientRect(window);
        SIZE expected = expectedClientSize();
        report.expect(client.right == expected.cx && client.bottom == expected.cy,
                      kind.caption + ": client area " + std::to_string(client.right) + "x" +
                          std::to_string(client.bottom) + ", expected " +
                          std::to_string(expected.cx) + "x" + std::to_string(expected.cy));
        expectListCoversClient(report, window, list, kind.caption + " when first shown");

        Lines lines = readLog(list).value_or(Lines{"(unreadable)"});
        report.expectEqual(selectedLine(list), static_cast<LRESULT>(lines.size()) - 1,
                           kind.caption + ": the last line is selected");
        checkResizing(report, window, list, kind.caption);
        closeAndExpectEnd(report, program, window, kind.caption);
    }
}

void unpackTwoEntriesCase(Report& report, const Programs& programs) {
    TempFolder folder;
    std::vector<Entry> entries = twoEntries();
    Bytes archive = archiveOf(entries);
    writeNativeFile(folder.workDir() + "ZRK.DAT", archive);
    RunningProgram program(programs.unpack, folder.workDir());
    HWND window = program.findMainWindow();
    report.expect(window != nullptr, "the Unpack window appears");
    if (window == nullptr) {
        return;
    }
    HWND list = logListOf(window);
    Lines lines = waitForLog(list, endsWithDone);
    report.expectLines(lines,
                       {"Reading metadata...", "Writing manifest file...", "Unpacking A.PCM...",
                        "Unpacking B.BIN...", "Done!"},
                       "the Unpack log");
    report.expectEqual(selectedLine(list), LRESULT{4}, "the last line is selected");
    expectFile(report, folder.workDir() + "Output\\manifest.txt", bytesOf(manifestOf(entries)));
    expectFile(report, folder.workDir() + "Output\\A.PCM", entries[0].data);
    expectFile(report, folder.workDir() + "Output\\B.BIN", entries[1].data);
    expectFile(report, folder.workDir() + "ZRK.DAT", archive);
    checkResizing(report, window, list, "Unpack after its run");
    report.expect(program.findMainWindow() == window, "the window stays open after the run");
    closeAndExpectEnd(report, program, window, "Unpack");
}

void repackTwoEntriesCase(Report& report, const Programs& programs) {
    TempFolder folder;
    std::vector<Entry> entries = twoEntries();
    // The number of a PCM line is not used: its length is the file's.
    writeNativeFile(folder.workDir() + "Output\\manifest.txt", bytesOf("A.PCM,1\r\nB.BIN,96\r\n"));
    writeNativeFile(folder.workDir() + "Output\\A.PCM", entries[0].data);
    writeNativeFile(folder.workDir() + "Output\\B.BIN", entries[1].data);
    writeNativeFile(folder.workDir() + "ZRK.NEW", patternBytes(5000, 9));
    RunningProgram program(programs.repack, folder.workDir());
    HWND window = program.findMainWindow();
    report.expect(window != nullptr, "the Repack window appears");
    if (window == nullptr) {
        return;
    }
    HWND list = logListOf(window);
    Lines lines = waitForLog(list, endsWithDone);
    report.expectLines(lines,
                       {"Reading metadata from manifest...", "Writing metadata...",
                        "Repacking A.PCM...", "Repacking B.BIN...", "Done!"},
                       "the Repack log");
    report.expectEqual(selectedLine(list), LRESULT{4}, "the last line is selected");
    expectFile(report, folder.workDir() + "ZRK.NEW", archiveOf(entries));
    closeAndExpectEnd(report, program, window, "Repack");
}

// Missing input is reported in the log; a hidden file does not count. Only
// Repack removes an old ZRK.NEW.
void missingInput(Report& report, const ProgramKind& kind, const std::string& hiddenFile,
                  const std::string& message, bool removesNewArchive) {
    TempFolder folder;
    std::string hidden = folder.workDir() + hiddenFile;
    writeNativeFile(hidden, archiveOf(twoEntries()));
    ::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    writeNativeFile(folder.workDir() + "ZRK.NEW", patternBytes(10, 3));
    RunningProgram program(kind, folder.workDir());
    HWND window = program.findMainWindow();
    report.expect(window != nullptr, kind.caption + ": the window appears");
    if (window == nullptr) {
        return;
    }
    HWND list = logListOf(window);
    waitForLog(list, [](const Lines& lines) { return !lines.empty(); });
    program.waitUntilIdle();
    report.expectLines(readLog(list).value_or(Lines{}), {message},
                       kind.caption + ": the log names what is missing");
    report.expectEqual(selectedLine(list), LRESULT{0}, kind.caption + ": the line is selected");
    report.expectEqual(exists(folder.workDir() + "ZRK.NEW"), !removesNewArchive,
                       kind.caption + ": an old ZRK.NEW is removed by Repack only");
    closeAndExpectEnd(report, program, window, kind.caption);
    ::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

void unpackMissingArchiveCase(Report& report, const Programs& programs) {
    missingInput(report, programs.unpack, "ZRK.DAT", "ZRK.DAT not found!", false);
}

void repackMissingManifestCase(Report& report, const Programs& programs) {
    missingInput(report, programs.repack, "Output\\manifest.txt", "Manifest file not found!", true);
}

// An error that ends the run: a message box names it, waits for OK, and the
// program then ends with exit code 1.
void errorReportCase(Report& report, const Programs& programs) {
    TempFolder folder;
    writeNativeFile(folder.workDir() + "Output\\manifest.txt", bytesOf("GONE.BIN,5\r\n"));
    RunningProgram program(programs.repack, folder.workDir());
    HWND window = program.findMainWindow();
    report.expect(window != nullptr, "the Repack window appears");
    // A message box is a window of the dialog class, captioned with the program's name.
    HWND box = program.findWindow("#32770", programs.repack.caption);
    report.expect(box != nullptr, "a message box with the program's name reports the error");
    if (box == nullptr) {
        return;
    }
    std::string text = windowText(::GetDlgItem(box, kMessageBoxTextId));
    report.expect(text.find("GONE.BIN") != std::string::npos,
                  "the report names the missing file: \"" + text + "\"");
    report.expect(!program.hasEnded(500), "the program waits for OK");
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    report.expect(program.hasEnded(kTimeoutMs), "the program ends after OK");
    report.expectEqual(program.exitCode(), DWORD{1}, "exit code 1 after an error");
    report.expect(!exists(folder.workDir() + "ZRK.NEW"), "no ZRK.NEW is begun");
}

// Waits until the job has logged `logged` lines, resizes the window at one
// of the job's yield points and closes it there.
void closeMidJob(Report& report, RunningProgram& program, std::size_t logged,
                 const std::string& what) {
    HWND window = program.findMainWindow();
    report.expect(window != nullptr, what + ": the window appears");
    if (window == nullptr) {
        return;
    }
    HWND list = logListOf(window);
    Lines lines = waitForLog(list, [&](const Lines& l) { return l.size() >= logged; });
    report.expect(!endsWithDone(lines), what + ": the job is still running when closed");
    checkResizing(report, window, list, what + " during the job");
    closeAndExpectEnd(report, program, window, what + " during the job");
}

void unpackCloseMidJobCase(Report& report, const Programs& programs) {
    TempFolder folder;
    std::vector<Entry> entries = manyEntries();
    writeNativeFile(folder.workDir() + "ZRK.DAT", archiveOf(entries));
    RunningProgram program(programs.unpack, folder.workDir());
    closeMidJob(report, program, 3, "Unpack");
    // The manifest is complete before the first entry is written.
    expectFile(report, folder.workDir() + "Output\\manifest.txt", bytesOf(manifestOf(entries)));
    std::size_t written = 0;
    for (const Entry& entry : entries) {
        std::string path = folder.workDir() + "Output\\" + entry.name;
        if (exists(path)) {
            ++written;
            expectFile(report, path, entry.data);
        }
    }
    std::printf("%zu of %zu entries written before the window was closed\n", written,
                entries.size());
    report.expect(written >= 1, "the entries written before closing stay");
    report.expect(written < entries.size(), "closing stops the job before its end");
}

void repackCloseMidJobCase(Report& report, const Programs& programs) {
    TempFolder folder;
    std::vector<Entry> entries = manyEntries();
    writeNativeFile(folder.workDir() + "Output\\manifest.txt", bytesOf(manifestOf(entries)));
    for (const Entry& entry : entries) {
        writeNativeFile(folder.workDir() + "Output\\" + entry.name, entry.data);
    }
    RunningProgram program(programs.repack, folder.workDir());
    closeMidJob(report, program, 4, "Repack");
    Bytes expected = archiveOf(entries);
    std::optional<Bytes> archive = readFile(folder.workDir() + "ZRK.NEW");
    report.expect(archive.has_value(), "ZRK.NEW is there");
    if (!archive) {
        return;
    }
    std::size_t directoryEnd = kHeaderSize + kRecordSize * entries.size();
    std::printf("%zu of %zu bytes written before the window was closed\n", archive->size(),
                expected.size());
    report.expect(archive->size() > directoryEnd, "the header, directory and data stay");
    report.expect(archive->size() < expected.size(), "closing stops the job before its end");
    report.expect(archive->size() <= expected.size() &&
                      std::equal(archive->begin(), archive->end(), expected.begin()),
                  "what was written is the start of the archive, byte for byte");
}

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, void (*)(Report&, const Programs&)> cases = {
        {"window", windowCase},
        {"unpack-two-entries", unpackTwoEntriesCase},
        {"repack-two-entries", repackTwoEntriesCase},
        {"unpack-missing-archive", unpackMissingArchiveCase},
        {"repack-missing-manifest", repackMissingManifestCase},
        {"error-report", errorReportCase},
        {"unpack-close-mid-job", unpackCloseMidJobCase},
        {"repack-close-mid-job", repackCloseMidJobCase},
    };
    auto found = argc == 4 ? cases.find(argv[1]) : cases.end();
    if (found == cases.end()) {
        std::printf("usage: gui_driver CASE UNPACK_EXE REPACK_EXE\ncases:");
        for (const auto& [name, run] : cases) {
            std::printf(" %s", name.c_str());
        }
        std::printf("\n");
        return 2;
    }
    Programs programs{{windowsPath(argv[2]), "UnpackForm", "Unpack"},
                      {windowsPath(argv[3]), "RepackForm", "Repack"}};
    Report report;
    found->second(report, programs);
    return report.exitCode();
}
