// Drives Unpack.exe and Repack.exe from outside, as a user and the window
// system would: starts a program in a prepared work folder, finds its window by
// class and caption, reads the log list through list-box messages, resizes the
// window, closes it (also in the middle of a job, and under its error box) or
// answers its error box, checks the exit code, and then compares everything
// below the work folder with what the run leaves.
//
//   gui_driver UNPACK_EXE REPACK_EXE [GOOGLETEST OPTIONS]

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "archive_format.h"
#include "support.h"

namespace {

using namespace zrk::test;
using Lines = std::vector<std::string>;

std::map<std::string, std::string> programs;  // "Unpack" and "Repack" to their paths

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

// The text of a message box, in its control 0xFFFF.
std::string boxText(HWND box) {
    std::string text(1024, '\0');
    text.resize(::GetDlgItemTextA(box, 0xFFFF, text.data(), 1024));
    return text;
}

// The program started in a folder, with its window and the log list in it.
struct Child {
    Child(const std::string& caption, const std::filesystem::path& folder) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::filesystem::path program = programs[caption];
        if (::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &process)) {
            window = findWindow(process.dwThreadId, caption + "Form", caption);
            list = window ? ::FindWindowExA(window, nullptr, "ListBox", nullptr) : nullptr;
        }
    }
    ~Child() {
        if (process.hProcess != nullptr) {
            ::TerminateProcess(process.hProcess, 99);  // our own child, if it still runs
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
    }
    DWORD exitCode(DWORD waitMs = 30000) const {
        DWORD code = STILL_ACTIVE;
        ::WaitForSingleObject(process.hProcess, waitMs);
        ::GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    PROCESS_INFORMATION process{};
    HWND window = nullptr, list = nullptr;
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

struct Row {
    std::string name, program;  // the program: "Unpack" or "Repack"
    Tree before, after;         // below the work folder's parent
    Lines log = {};             // the whole log when the window is closed
    DWORD exitCode = 0;
    // A part of the box's text, where an error ends the run or the run warns;
    // the box is answered with OK, or else the main window is closed under it.
    std::string error = "";
    bool okOnBox = false;
    std::string hidden = "";  // a file hidden from the program
    std::string held = "";    // a file below the work folder held open meanwhile, for writing
    DWORD heldShare = 0;      // and with this leave for others
    std::string folder = "";  // where below the work folder the program starts
    // A program started in the same folder once the job is at work, and in
    // "twin", where the row has one.
    std::string beside = "";
};
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::vector<Row> rows() {
    const std::string out = "work/Output/";
    const Lines names = {"A.BIN", "B.PCM", "C.BIN"};
    std::vector<TestEntry> entries;
    Tree in = {{"work/", "/"}, {out, "/"}};
    for (unsigned k = 0; k < names.size(); ++k) {
        entries.push_back({names[k], pattern(1000, k)});
        in[out + names[k]] = entries[k].data;
        in[out + "manifest.txt"] += names[k] + ",1000\r\n";
    }
    std::string archive = archiveOf(entries);
    Tree dat = {{"work/", "/"}, {"work/ZRK.DAT", archive}}, neu = {{"work/ZRK.NEW", archive}};
    Tree old = {{"work/ZRK.NEW", "old"}}, cut = {{"work/", "/"}, {"work/ZRK.DAT", "cut"}};
    Tree gone = {{"work/", "/"}, {out, "/"}, {out + "manifest.txt", "GONE,5\r\n"}};
    std::string longName = "NAME_OF_TWENTY_BYTES";  // stored cut to 19
    Tree longIn = {
        {"work/", "/"}, {out, "/"}, {out + longName, "a"}, {out + "manifest.txt", longName + ",1"}};
    // A folder whose name the ANSI code page can only show with real
    // backslashes, deep enough (about 245 characters) that the path of an
    // entry in a folder of its own passes 260.
    std::string deep = "a\xEF\xBC\xBC..\xEF\xBC\xBC..\xEF\xBC\xBCx/";
    for (int level = 0; level < 18; ++level) {
        deep += "abcdefghij/";
    }
    std::string deepName = "ABCDEFGHIJKLM\\A.BIN";
    Tree deepDat = {{"work/", "/"}, {"work/ZRK.DAT", archiveOf({{deepName, "a"}})}};
    Tree deepOut = {{out, "/"},
                    {out + "manifest.txt", deepName + ",1\r\n"},
                    {out + "ABCDEFGHIJKLM/", "/"},
                    {out + "ABCDEFGHIJKLM/A.BIN", "a"}};
    // The tree of the work folder moved into `folder` below it.
    auto below = [](const std::string& folder, const Tree& tree) {
        Tree moved = {{"work/", "/"}};
        for (std::size_t cut = folder.find('/'); cut != folder.npos;
             cut = folder.find('/', cut + 1)) {
            moved["work/" + folder.substr(0, cut + 1)] = "/";
        }
        for (const auto& [name, content] : tree) {
            moved["work/" + folder + name.substr(5)] = content;
        }
        return moved;
    };
    // clang-format off
    // A.BIN and then BIG.BIN, as long as the archive lets it be, of zeros in a
    // sparse file: 64 pieces of a copy, each a chance to answer and to close.
    std::string head = archiveOf({entries[0], {"BIG.BIN", ""}});
    std::string whole = "<sparse " + std::to_string(zrk::kLargestPosition - 1) + ">";
    auto length = static_cast<std::uint32_t>(zrk::kLargestPosition - 1 - std::ssize(head));
    head = withField(head, 2, zrk::kDataLengthOffset, length);
    head = withField(head, 2, zrk::kDeclaredLengthOffset, length);
    Tree big = {{"work/", "/"}, {"work/ZRK.DAT", whole + head}};
    Tree bigLeft = {{"work/ZRK.DAT", whole}, {out, "/"}, {out + "A.BIN", entries[0].data},
                    {out + "manifest.txt", "A.BIN,1000\r\nBIG.BIN," + std::to_string(length) + "\r\n"}};
    Tree oldB = {{out, "/"}, {out + "B.PCM", "old"}};
    Tree oldIn = {{out, "/"}, {out + "A.BIN", "old"}, {out + "manifest.txt", "OLD,1\r\n"}};
    Tree sibling = {{"work/w/", "/"}, {"work/w/ZRK.DAT", "cut"}};
    Tree twin = {{"twin/", "/"}, {"twin/Output", "-> ../work/Output"}, {"twin/ZRK.DAT", archive}};
    // 20,000 lines: it takes Wine a minute to measure their files.
    Tree many = {{"work/", "/"}, {out, "/"}, {out + "A.BIN", "a"}};
    std::vector<TestEntry> manyEntries(20000, {"A.BIN", "a"});
    for (int line = 0; line < 20000; ++line) {
        many[out + "manifest.txt"] += "A.BIN,1\r\n";
    }
    return {
        {"UnpackClosedAfterItsEnd", "Unpack", dat, plus(dat, in), unpackLog(names)},
        {"RepackClosedAfterItsEnd", "Repack", plus(in, old), plus(in, neu), repackLog(names)},
        {.name = "UnpackInAFolderOfFullwidthBackslashesWherePathsPass260Characters", .program = "Unpack",
         .before = below(deep, deepDat),
         .after = below(deep, plus(deepDat, deepOut)), .log = unpackLog({deepName}), .folder = deep},
        // The run happens in the folder named with a trailing space, not in its sibling.
        {.name = "UnpackInAFolderNamedWithATrailingSpace", .program = "Unpack", .before = plus(below("w /", dat), sibling),
         .after = plus(below("w /", plus(dat, in)), sibling), .log = unpackLog(names), .folder = "w /"},
        // A manifest held open without leave to delete ends the run before any entry.
        {.name = "UnpackWithItsManifestHeldOpen", .program = "Unpack", .before = plus(dat, oldIn),
         .after = plus(dat, oldIn), .log = unpackLog({}, {}, false), .exitCode = 1,
         .error = "another program holds it open", .held = "Output/manifest.txt", .heldShare = FILE_SHARE_READ},
        // Unpack started beside it, and in a work folder sharing its Output, refuses.
        {.name = "RepackOfTwentyThousandLines", .program = "Repack", .before = plus(many, twin),
         .after = plus(plus(many, twin), {{"work/ZRK.NEW", archiveOf(manyEntries)}}),
         .log = repackLog(std::vector<std::string>(20000, "A.BIN")), .beside = "Unpack"},
        {.name = "UnpackWithoutArchive", .program = "Unpack", .before = plus(dat, old),
         .after = plus(dat, old), .log = {"ZRK.DAT not found!"}, .exitCode = 1, .hidden = "ZRK.DAT"},
        // A file another program holds, with leave to delete, is kept whole where
        // the system cannot replace it (Wine; Windows 10 and later replace it).
        {.name = "UnpackKeepsAFileItCannotReplace", .program = "Unpack", .before = plus(dat, oldB),
         .after = plus(dat, plus(oldB, {{out + "A.BIN", entries[0].data}, {out + "manifest.txt", in[out + "manifest.txt"]}})),
         .log = unpackLog({"A.BIN", "B.PCM"}, {}, false), .exitCode = 1, .error = "another program holds it open",
         .held = "Output/B.PCM", .heldShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
        // An input another program writes cannot be read whole: no ZRK.NEW.
        {.name = "RepackOfAFileHeldByAWriter", .program = "Repack", .before = plus(in, old), .after = in,
         .log = repackLog({"A.BIN", "B.PCM"}, false), .exitCode = 1, .error = "B.PCM",
         .held = "Output/B.PCM", .heldShare = FILE_SHARE_READ | FILE_SHARE_WRITE},
        {.name = "UnpackErrorBoxAnswered", .program = "Unpack", .before = cut, .after = cut,
         .exitCode = 1, .error = "ZRK.DAT is damaged", .okOnBox = true},
        {.name = "RepackWarnsInABoxAfterItsEnd", .program = "Repack", .before = longIn,
         .after = plus(longIn, {{"work/ZRK.NEW", archiveOf({{longName, "a"}})}}), .log = repackLog({longName}),
         .error = "is stored cut to 19"},
        {.name = "RepackClosedUnderItsErrorBox", .program = "Repack", .before = gone, .after = gone,
         .log = {"Reading metadata from manifest..."}, .exitCode = 1, .error = "GONE is missing"},
        // The window answers and is closed while the long entry is copied:
        // the entry before it is whole, the long one is not there at all.
        // Repack started beside it meanwhile refuses and changes nothing.
        {.name = "UnpackClosedInALongEntry", .program = "Unpack", .before = big,
         .after = plus(bigLeft, big), .log = unpackLog({"A.BIN", "BIG.BIN"}, {}, false),
         .exitCode = 1, .beside = "Repack"},
    };
    // clang-format on
}

class GuiRun : public testing::TestWithParam<Row> {};

TEST_P(GuiRun, ShowsItsLogAndLeavesItsFiles) {
    const Row& row = GetParam();
    WorkFolder work;
    ASSERT_TRUE(work.make(row.before));
    if (!row.hidden.empty()) {
        ASSERT_TRUE(::SetFileAttributesW(work.native(row.hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
    }
    HANDLE held = row.held.empty()
                      ? INVALID_HANDLE_VALUE
                      : ::CreateFileW(work.native(row.held).c_str(), GENERIC_WRITE, row.heldShare,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(held == INVALID_HANDLE_VALUE, row.held.empty());
    Child child(row.program, work.native("") / std::u8string(row.folder.begin(), row.folder.end()));
    ASSERT_NE(child.list, nullptr) << "no window with a list";
    // The client area as first shown: 7410 x 6075 twips, 494 x 405 pixels at 96 DPI.
    UINT dpi = ::GetDpiForSystem();
    RECT client{}, list{}, shown = {0, 0, ::MulDiv(7410, dpi, 1440), ::MulDiv(6075, dpi, 1440)};
    ::GetClientRect(child.window, &client);
    EXPECT_TRUE(::EqualRect(&client, &shown));
    // An error shows in a message box with the program's name.
    HWND box =
        row.error.empty() ? nullptr : findWindow(child.process.dwThreadId, "#32770", row.program);
    EXPECT_NE(boxText(box).find(row.error), std::string::npos) << "the box says: " << boxText(box);

    // Another run started once the job is at work refuses to work in its
    // folder, and in one sharing its Output.
    for (std::string folder : {"", "../twin/"}) {
        if (row.beside.empty() || (!folder.empty() && !row.before.contains("twin/"))) {
            continue;
        }
        waitFor([&] { return ::SendMessageW(child.list, LB_GETCOUNT, 0, 0) >= 2; });
        Child other(row.beside, work.native("") / folder);
        HWND refusal = findWindow(other.process.dwThreadId, "#32770", row.beside);
        EXPECT_EQ(boxText(refusal), "Output is in use by another Unpack or Repack") << folder;
        ::PostMessageA(refusal, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(other.exitCode(), 1u);
    }
    // Throughout, within a second: well within the five after which Windows
    // calls a window Not Responding. Asked every tenth of a second.
    bool answered = true;
    DWORD asked = 0;
    waitFor([&] {
        if (DWORD now = ::GetTickCount(); now - asked >= 100) {
            asked = now;
            answered = answered && ::SendMessageTimeoutW(child.window, WM_NULL, 0, 0,
                                                         SMTO_ABORTIFHUNG, 1000, nullptr);
        }
        return ::SendMessageW(child.list, LB_GETCOUNT, 0, 0) >= std::ssize(row.log);
    });
    EXPECT_TRUE(answered) << "the window answers all along";
    EXPECT_EQ(readLog(child.list), row.log);
    EXPECT_EQ(::SendMessageW(child.list, LB_GETCURSEL, 0, 0), std::ssize(row.log) - 1);
    ::SetWindowPos(child.window, nullptr, 0, 0, 700, 300, SWP_NOMOVE | SWP_NOZORDER);
    ::GetClientRect(child.window, &client);
    ::GetWindowRect(child.list, &list);
    ::MapWindowPoints(HWND_DESKTOP, child.window, reinterpret_cast<POINT*>(&list), 2);
    EXPECT_TRUE(::EqualRect(&client, &list)) << "the list covers the resized client area";

    EXPECT_EQ(child.exitCode(0), STILL_ACTIVE) << "the window stays open";
    bool ok = box != nullptr && row.okOnBox;
    ::PostMessageA(ok ? box : child.window, ok ? WM_COMMAND : WM_CLOSE, IDOK, 0);
    EXPECT_EQ(child.exitCode(), row.exitCode);
    if (held != INVALID_HANDLE_VALUE) {
        ::CloseHandle(held);
    }
    EXPECT_EQ(work.tree(), row.after);
}

INSTANTIATE_TEST_SUITE_P(Runs, GuiRun, testing::ValuesIn(rows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: gui_driver UNPACK_EXE REPACK_EXE [GOOGLETEST OPTIONS]\n");
        return 2;
    }
    programs = {{"Unpack", argv[1]}, {"Repack", argv[2]}};
    return RUN_ALL_TESTS();
}
