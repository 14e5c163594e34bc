// The tool window on Windows: one resizable top-level window whose whole
// client area is the log list, lstLog. The job runs on the window's thread and
// lets the window breathe at its yield points, between entries and between the
// pieces of a long entry's copy, so the window keeps answering; closing the
// window ends the process there and then. Bytes handed to WriteFile before that
// are the system's to keep, so nothing written is lost.
//
// The exit code tells whether the job did all of its work: 0 when the window is
// closed after a job that did, 1 when the job fell short (no archive or
// manifest, a file it could not write), when the window is closed before the
// job's end (mid-job, or while the box of an error that ended the job is up)
// or when the error box is answered.
//
// The log list shows the job's own lines and nothing else. Warnings wait for
// the job's end and then show in one box, which waits for OK: a box during the
// job would hold the job up.

#include <windows.h>

#include <exception>
#include <string>

#include "system_error.h"
#include "tool_window.h"
#include "work_folder.h"

namespace zrk {

namespace {

// The client area as first shown, in twips (1/1440 inch): 494 x 405 pixels
// at 96 dots per inch.
constexpr int kClientWidthTwips = 7410;
constexpr int kClientHeightTwips = 6075;
constexpr int kTwipsPerInch = 1440;

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
// No LBS_SORT: lines stay in the order they were logged. Without
// LBS_NOINTEGRALHEIGHT the list would round its height down to whole lines
// and leave a strip of the client area uncovered.
constexpr DWORD kLogStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT;
constexpr int kLogId = 1;
// While lines come in, the list draws itself at most this often (in ms):
// drawing it costs far more than adding a line.
constexpr DWORD kDrawInterval = 100;
// The warnings a box shows in full; of the rest it gives the number.
constexpr int kWarningsShown = 10;

// What closing the window ends the process with: 1 until the job returns
// having done all of its work, so that a run cut short never reports success.
UINT exitCodeOnClose = 1;

HWND lstLogOf(HWND window) {
    return ::GetDlgItem(window, kLogId);
}

void coverClientArea(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    ::MoveWindow(lstLogOf(window), client.left, client.top, client.right - client.left,
                 client.bottom - client.top, TRUE);
}

// The font that the system uses for message text, rather than the list box's
// bold default.
HFONT messageFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    }
    return ::CreateFontIndirectA(&metrics.lfMessageFont);
}

// Lets the list draw itself, as it stands, at the next turn of the window.
void letDraw(HWND lstLog) {
    ::SendMessageA(lstLog, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(lstLog, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

bool createLog(HWND window) {
    HWND lstLog = ::CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", kLogStyle, 0, 0, 0, 0, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogId)),
                                    ::GetModuleHandleA(nullptr), nullptr);
    if (lstLog == nullptr) {
        return false;
    }
    ::SendMessageA(lstLog, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont()), FALSE);
    return true;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return createLog(window) ? 0 : -1;
        case WM_SIZE:
            coverClientArea(window);
            return 0;
        case WM_CLOSE:
        case WM_DESTROY:
            // Ends the job too, wherever it stands, also when it comes through
            // the error box's own message loop; open files close with the
            // process.
            ::ExitProcess(exitCodeOnClose);
        default:
            return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

SIZE initialWindowSize() {
    HDC screen = ::GetDC(nullptr);
    int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX);
    int dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    RECT frame{0, 0, ::MulDiv(kClientWidthTwips, dpiX, kTwipsPerInch),
               ::MulDiv(kClientHeightTwips, dpiY, kTwipsPerInch)};
    ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

HWND openWindow(const ToolProgram& program) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = program.windowClass.c_str();
    if (!::RegisterClassExA(&windowClass)) {
        failWithLastError("cannot register the window class", program.windowClass);
    }
    SIZE size = initialWindowSize();
    HWND window = ::CreateWindowExA(0, program.windowClass.c_str(), program.caption.c_str(),
                                    kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy,
                                    nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        failWithLastError("cannot open the window", program.caption);
    }
    return window;
}

class Win32Window final : public ToolWindow {
public:
    explicit Win32Window(HWND window) : lstLog_(lstLogOf(window)) {}

    void clear() { ::SendMessageA(lstLog_, LB_RESETCONTENT, 0, 0); }

    void appendLog(std::string_view message) override {
        if (drawing_) {
            ::SendMessageA(lstLog_, WM_SETREDRAW, FALSE, 0);
            drawing_ = false;
        }
        std::string line(message);
        ::SendMessageA(lstLog_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        LRESULT count = ::SendMessageA(lstLog_, LB_GETCOUNT, 0, 0);
        ::SendMessageA(lstLog_, LB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);
    }

    // New lines stop the list drawing itself until this lets it again.
    void draw() {
        letDraw(lstLog_);
        drawing_ = true;
        drawn_ = ::GetTickCount();
    }

    void warn(std::string_view message) override {
        if (++warningCount_ <= kWarningsShown) {
            warnings_ += std::string(message) + "\n\n";
        }
    }

    // After the job's end, with the work folder's lock let go: the box may
    // wait long.
    void showWarnings(HWND window, const std::string& caption) const {
        if (warningCount_ == 0) {
            return;
        }
        std::string text = warnings_;
        if (warningCount_ > kWarningsShown) {
            text += "and " + std::to_string(warningCount_ - kWarningsShown) + " more warnings";
        }
        ::MessageBoxA(window, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    }

    void processEvents() override {
        if (!drawing_ && ::GetTickCount() - drawn_ >= kDrawInterval) {
            draw();
        }
        MSG message{};
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::ExitProcess(exitCodeOnClose);  // asked to quit before the job's end
            }
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

private:
    HWND lstLog_;
    std::string warnings_;
    int warningCount_ = 0;
    bool drawing_ = true;
    DWORD drawn_ = 0;  // when the list last got leave to draw, in ms
};

// Idle after the job: the window shows its log until it is closed.
int runMessageLoop() {
    MSG message{};
    BOOL got = 0;
    while ((got = ::GetMessageA(&message, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

}  // namespace

int runToolProgram(const ToolProgram& program, int /*argc*/, char** /*argv*/) {
    // A drive without a medium answers with an error instead of asking the
    // user to insert a disk.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    HWND window = nullptr;
    try {
        window = openWindow(program);
        Win32Window log(window);
        log.clear();
        ::ShowWindow(window, SW_SHOWDEFAULT);
        coverClientArea(window);
        log.processEvents();
        bool complete = false;
        {
            LockedFolder work = openWorkFolder();
            complete = program.job(log, work.folder).complete;
        }
        exitCodeOnClose = complete ? 0 : 1;
        log.draw();
        log.showWarnings(window, program.caption);
    } catch (const std::exception& error) {
        if (window != nullptr) {
            letDraw(lstLogOf(window));
        }
        // Waits for OK, so that the report is read before the program ends.
        ::MessageBoxA(window, errorReport(error).c_str(), program.caption.c_str(),
                      MB_OK | MB_ICONERROR);
        return 1;
    }
    return runMessageLoop();
}

}  // namespace zrk
