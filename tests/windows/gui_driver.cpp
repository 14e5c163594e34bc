// Drives Unpack.exe and Repack.exe from outside, as a user and the window
// system would: starts a program in a prepared work folder, finds its window by
// class and caption, reads the log list through list-box messages, resizes the
// window, closes it (also in the middle of a job) or answers its message box,
// and then compares everything below the work folder with what the run leaves.
//
//   gui_driver UNPACK_EXE REPACK_EXE
//
// Prints each check; exit code 0 when all of them passed.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "support.h"

namespace {

using namespace zrk::test;
using Lines = std::vector<std::string>;

int failures = 0;

void check(bool ok, const std::string& what) {
    failures += ok ? 0 : 1;
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
}

// Looks up to 30000 times, a millisecond or more apart.
bool waitFor(const std::function<bool()>& condition) {
    for (int look = 0; look < 30000 && !condition(); ++look) {
        ::Sleep(1);
    }
    return condition();
}

// The shown top-level window of this class and caption that the thread made.
HWND findWindow(DWORD thread, const std::string& form, const std::string& caption) {
    HWND found = nullptr;
    bool shown = waitFor([&] {
        found = ::FindWindowExA(nullptr, nullptr, form.c_str(), caption.c_str());
        return ::GetWindowThreadProcessId(found, nullptr) == thread && ::IsWindowVisible(found);
    });
    return shown ? found : nullptr;
}

// The program started in a work folder, with its window and the log list in it.
struct Run {
    Run(const std::string& exe, const std::string& caption, const WorkFolder& work) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ::CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                         work.path().c_str(), &startup, &process);
        window = findWindow(process.dwThreadId, caption + "Form", caption);
        list = window ? ::FindWindowExA(window, nullptr, "ListBox", nullptr) : nullptr;
    }
    ~Run() {
        ::TerminateProcess(process.hProcess, 99);  // our own child, if it still runs
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    DWORD exitCode(DWORD waitMs = 30000) const {
        DWORD code = STILL_ACTIVE;
        ::WaitForSingleObject(process.hProcess, waitMs);
        ::GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    PROCESS_INFORMATION process{};
    HWND window, list;
};

// Across processes only the wide messages bring the text intact. Our logs are
// ASCII, so each character narrows to itself.
Lines readLog(HWND list) {
    Lines lines;
    for (LRESULT i = 0, count = ::SendMessageW(list, LB_GETCOUNT, 0, 0); i < count; ++i) {
        std::wstring line(std::max<LRESULT>(::SendMessageW(list, LB_GETTEXTLEN, i, 0), 0), L'\0');
        ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        lines.emplace_back(line.begin(), line.end());
    }
    return lines;
}

// The items of both trees; the left one's where both hold a name.
Tree operator+(Tree tree, const Tree& more) {
    tree.insert(more.begin(), more.end());
    return tree;
}

void runs(const std::string& unpack, const std::string& repack) {
    // Enough entries that a job is still early when its window closes.
    std::vector<TestEntry> entries;
    Lines names;
    const std::string out = "work/Output/";
    Tree in = {{"work/", "/"}, {out, "/"}};
    for (unsigned k = 0; k < 200; ++k) {
        names.push_back(std::to_string(1000 + k) + ".BIN");
        entries.push_back({names[k], pattern(1000, k)});
        in[out + names[k]] = entries[k].data;
        in[out + "manifest.txt"] += names[k] + ",1000\r\n";
    }
    std::string archive = archiveOf(entries);
    Tree dat = {{"work/", "/"}, {"work/ZRK.DAT", archive}}, neu = {{"work/ZRK.NEW", archive}};
    Tree cut = {{"work/", "/"}, {"work/ZRK.DAT", "cut"}}, old = {{"work/ZRK.NEW", "old"}};
    Tree gone = {{"work/", "/"}, {out, "/"}, {out + "manifest.txt", "GONE,5\r\n"}};
    // What Unpack and Repack leave when closed after `logged` entries were logged.
    auto unpacked = [&](Tree got, std::size_t logged) {
        return got[out + "manifest.txt"] == in[out + "manifest.txt"] &&
               got[out + names[logged - 1]] == in[out + names[logged - 1]] &&
               !got.contains(out + names.back());
    };
    auto repacked = [&](Tree got, std::size_t logged) {
        std::string& made = got["work/ZRK.NEW"];
        return archive.starts_with(made) && made.size() < archive.size() &&
               made.size() + (names.size() - logged) * 1000 >= archive.size();
    };
    struct Row {
        // The program; a file hidden from it; a part of the message box's text
        // when an error ends the run.
        std::string caption, hidden, error;
        Tree before, after = {};  // below the work folder's parent; `after` if it differs
        Lines log = {};
        // For a window closed mid-job: whether the files left hold the entries logged.
        std::function<bool(Tree, std::size_t logged)> left = nullptr;
    };
    const Row rows[] = {
        {"Unpack", "", "", dat, dat + in, unpackLog(names)},
        {"Repack", "", "", in + old, in + neu, repackLog(names)},
        {"Unpack", "ZRK.DAT", "", dat + old, {}, {"ZRK.DAT not found!"}},
        {"Repack", "Output\\manifest.txt", "", in + old, in, {"Manifest file not found!"}},
        {"Unpack", "", "ZRK.DAT is damaged", cut},
        {"Repack", "", "GONE is missing", gone, {}, {"Reading metadata from manifest..."}},
        {"Unpack", "", "", dat, {}, {}, unpacked},
        {"Repack", "", "", in, {}, {}, repacked},
    };
    // The client area as first shown: 7410 x 6075 twips, 494 x 405 pixels at 96 DPI.
    const RECT shown = {0, 0, ::MulDiv(7410, ::GetDpiForSystem(), 1440),
                        ::MulDiv(6075, ::GetDpiForSystem(), 1440)};
    for (const Row& row : rows) {
        std::string what = row.caption + " row " + std::to_string(&row - rows + 1);
        WorkFolder work;
        work.make(row.before);
        if (!row.hidden.empty()) {
            ::SetFileAttributesW(work.native(row.hidden).c_str(), FILE_ATTRIBUTE_HIDDEN);
        }
        Run run(row.caption == "Unpack" ? unpack : repack, row.caption, work);
        RECT client{}, list{};
        ::GetClientRect(run.window, &client);
        check(run.list && ::EqualRect(&client, &shown), what + ": a window with a list, sized");
        if (!run.list) {
            continue;
        }
        LRESULT until = row.left ? 4 : std::ssize(row.log);
        waitFor([&] { return ::SendMessageW(run.list, LB_GETCOUNT, 0, 0) >= until; });
        Lines log = readLog(run.list);
        LRESULT selected = ::SendMessageW(run.list, LB_GETCURSEL, 0, 0);
        check(row.left ? log.size() >= 4 : log == row.log && selected == std::ssize(log) - 1,
              what + (row.left ? ": two entries logged" : ": the exact log, last line selected"));
        ::SetWindowPos(run.window, nullptr, 0, 0, 700, 300, SWP_NOMOVE | SWP_NOZORDER);
        ::GetClientRect(run.window, &client);
        ::GetWindowRect(run.list, &list);
        ::MapWindowPoints(HWND_DESKTOP, run.window, reinterpret_cast<POINT*>(&list), 2);
        check(::EqualRect(&client, &list), what + ": the list covers the resized client area");
        // An error shows in a message box with the program's name, whose text
        // control is 0xFFFF; the window stays open till WM_CLOSE, or OK on the box.
        bool error = !row.error.empty();
        HWND box = error ? findWindow(run.process.dwThreadId, "#32770", row.caption) : run.window;
        std::string text(1024, '\0');
        text.resize(::GetDlgItemTextA(box, 0xFFFF, text.data(), 1024));
        check(run.exitCode(0) == STILL_ACTIVE && text.find(row.error) != text.npos,
              what + ": still open" + (error ? ", a message box says " + text : ""));
        ::PostMessageA(box, error ? WM_COMMAND : WM_CLOSE, IDOK, 0);
        check(run.exitCode() == (error ? 1u : 0u), what + ": then exit code 0, or 1 on an error");
        check(row.left ? log.size() >= 4 && row.left(work.tree(), log.size() - 2)
                       : work.tree() == (row.after.empty() ? row.before : row.after),
              what + ": the files left");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line out at once, also before a timeout
    argc == 3 ? runs(argv[1], argv[2]) : check(false, "usage: gui_driver UNPACK_EXE REPACK_EXE");
    return failures == 0 ? 0 : 1;
}
