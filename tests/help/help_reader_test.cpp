// The help file as the program uses it: WinHelpA opens ".\qdxremote.hlp" in the
// system's help reader (here Wine's winhlp32) at the contents and at context
// number 110. The reader's window is found, its caption and topic text are
// checked, its jumps are followed, and screenshots are kept as artefacts.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "canvas.h"
#include "desktop.h"
#include "help_reader.h"
#include "process_start.h"

using qdxtest::Canvas;
using qdxtest::CloseHelpReaders;
using qdxtest::kHelpReaderClass;
using qdxtest::WindowText;

namespace {

constexpr char kHelpFile[] = ".\\qdxremote.hlp";
constexpr char kHelpTitle[] = "QDX Remote Control Help";
constexpr DWORD kCallLimitMs = 30000;   // WinHelpA starts the reader and waits for it
constexpr DWORD kTopicLimitMs = 15000;  // until the topic text is shown
constexpr DWORD kCloseLimitMs = 5000;

std::string ClassOf(HWND w) {
    char name[128] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } s{pid, {}};
    EnumWindows(
        [](HWND w, LPARAM p) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == s->pid) s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND w, LPARAM p) WINAPI -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A description of a window and its children, for failure messages.
std::string Describe(HWND top) {
    std::string out = "'" + ClassOf(top) + "' \"" + WindowText(top).substr(0, 80) + "\"";
    for (HWND c : ChildrenOf(top)) out += "\n    child '" + ClassOf(c) + "' \"" + WindowText(c).substr(0, 60) + "\"";
    return out;
}

std::string ReaderErrorBox(DWORD pid);
std::string AnyErrorBox();
void ScreenshotAll(const std::string& name);

// WinHelpA blocks until the reader has taken the request; a reader stuck in an
// error box would block it for good, so it runs on a thread with a time limit.
struct HelpCall {
    UINT command;
    ULONG_PTR data;
    BOOL result;
};

DWORD WINAPI CallWinHelp(void* p) {
    auto* call = static_cast<HelpCall*>(p);
    call->result = WinHelpA(nullptr, kHelpFile, call->command, call->data);
    return 0;
}

::testing::AssertionResult CallOnce(UINT command, ULONG_PTR data, BOOL& result) {
    auto* call = new HelpCall{command, data, FALSE};
    HANDLE thread = CreateThread(nullptr, 0, CallWinHelp, call, 0, nullptr);
    if (!thread) return ::testing::AssertionFailure() << "CreateThread failed";
    // The call blocks while the reader shows an error box about the request,
    // so an error box ends the wait early.
    const DWORD start = GetTickCount();
    std::string error;
    while (WaitForSingleObject(thread, 200) == WAIT_TIMEOUT && error.empty() &&
           GetTickCount() - start < kCallLimitMs)
        error = AnyErrorBox();
    if (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
        // Keep a picture, then end the reader, which unblocks the call
        // (`call` stays allocated for the thread).
        ScreenshotAll("stuck");
        CloseHelpReaders();
        WaitForSingleObject(thread, kCloseLimitMs);
        CloseHandle(thread);
        return ::testing::AssertionFailure() << "WinHelpA did not return (after "
                                             << GetTickCount() - start << " ms); reader error box: \""
                                             << error << "\"";
    }
    CloseHandle(thread);
    result = call->result;
    delete call;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult RequestHelp(UINT command, ULONG_PTR data) {
    // When no reader runs, WinHelpA starts one and looks for its window at
    // once; a reader that is still starting is not found yet and the call
    // returns FALSE. The reader then keeps running, so a second call finds it.
    const DWORD start = GetTickCount();
    for (int attempt = 1;; ++attempt) {
        BOOL result = FALSE;
        ::testing::AssertionResult call = CallOnce(command, data, result);
        if (!call) return call;
        if (result) return ::testing::AssertionSuccess();
        if (GetTickCount() - start > kCallLimitMs)
            return ::testing::AssertionFailure() << "WinHelpA returned FALSE " << attempt << " times";
        Sleep(500);
    }
}

struct Reader {
    HWND main = nullptr;
    HWND text = nullptr;  // the rich edit control that shows the topic
    DWORD pid = 0;
};

// An error box of the reader, if one is open: its caption and texts.
std::string ReaderErrorBox(DWORD pid) {
    for (HWND w : TopLevelWindowsOf(pid)) {
        if (ClassOf(w) != "#32770" || !IsWindowVisible(w)) continue;
        std::string what = WindowText(w);
        for (HWND c : ChildrenOf(w)) what += " | " + WindowText(c);
        return what;
    }
    return "";
}

// A message box of any other process (GUI tests run one at a time, so it is
// the reader's, whichever of its processes shows it).
std::string AnyErrorBox() {
    struct Search {
        DWORD self;
        std::string found;
    } s{GetCurrentProcessId(), ""};
    EnumWindows(
        [](HWND w, LPARAM p) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid != s->self && s->found.empty() && IsWindowVisible(w) && ClassOf(w) == "#32770")
                s->found = ReaderErrorBox(pid);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Waits until the reader shows a topic whose text begins with `heading`.
::testing::AssertionResult WaitForTopic(const std::string& heading, Reader& r) {
    const DWORD start = GetTickCount();
    std::string last;
    while (GetTickCount() - start < kTopicLimitMs) {
        std::string error = AnyErrorBox();
        if (!error.empty()) {
            ScreenshotAll("error-" + heading.substr(0, heading.find(' ')));
            return ::testing::AssertionFailure() << "the reader shows an error box: " << error;
        }
        r.main = FindWindowA(kHelpReaderClass, nullptr);
        if (r.main) {
            GetWindowThreadProcessId(r.main, &r.pid);
            r.text = qdxtest::HelpTopicControl(r.main);
            if (r.text) {
                last = WindowText(r.text);
                if (last.compare(0, heading.size(), heading) == 0) {
                    Sleep(500);  // let it finish painting before a screenshot
                    return ::testing::AssertionSuccess();
                }
            }
        }
        Sleep(100);
    }
    ScreenshotAll("missing-" + heading.substr(0, heading.find(' ')));
    return ::testing::AssertionFailure()
           << "no topic '" << heading << "' within " << kTopicLimitMs << " ms; shown text: \""
           << last.substr(0, 200) << "\"; reader window: " << (r.main ? Describe(r.main) : "none");
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string CaptionOf(HWND w) {
    char caption[256] = {};
    GetWindowTextA(w, caption, sizeof caption);
    return caption;
}

// Screenshot of the reader's window into artefacts\help\<name>.png; returns
// the capture of the topic text area for pixel checks.
Canvas Screenshot(const Reader& r, const std::string& name) {
    RECT whole{}, area{};
    GetWindowRect(r.main, &whole);
    EXPECT_TRUE(qdxtest::CaptureScreen(whole).Save("help", name)) << "screen capture failed";
    GetWindowRect(r.text, &area);
    Canvas text = qdxtest::CaptureScreen(area);
    EXPECT_TRUE(text.Valid());
    return text;
}

// The whole screen, for failures where no reader window can be trusted.
void ScreenshotAll(const std::string& name) {
    qdxtest::CaptureScreen({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}).Save("help", name);
}

struct PixelCounts {
    double inked = 0;  // share of pixels that differ from the background
    int green = 0;     // pixels in the green of jump hotspots
};

PixelCounts CountPixels(const Canvas& c) {
    PixelCounts counts;
    if (!c.Valid()) return counts;
    const COLORREF background = c.Pixel(c.Width() - 20, c.Height() - 5);
    counts.inked = static_cast<double>(c.CountIf([&](COLORREF p) { return p != background; })) /
                   (static_cast<double>(c.Width()) * c.Height());
    counts.green = c.CountIf([](COLORREF p) { return GetGValue(p) > 90 && GetRValue(p) < 80 && GetBValue(p) < 80; });
    return counts;
}

// Clicks the first occurrence of `linkText` in the topic, as a user would.
::testing::AssertionResult ClickText(const Reader& r, const std::string& linkText) {
    // The control counts a paragraph end as one character; WM_GETTEXT gives CR LF.
    std::string text = WindowText(r.text);
    std::size_t at = text.find(linkText);
    if (at == std::string::npos) return ::testing::AssertionFailure() << "no text " << linkText;
    long index = 0;
    for (std::size_t i = 0; i < at; ++i)
        if (!(text[i] == '\n' && i > 0 && text[i - 1] == '\r')) ++index;
    index += static_cast<long>(linkText.size() / 2);
    LRESULT pos = SendMessageA(r.text, EM_POSFROMCHAR, static_cast<WPARAM>(index), 0);
    LPARAM point = MAKELPARAM(LOWORD(pos) + 1, HIWORD(pos) + 4);
    PostMessageA(r.text, WM_MOUSEMOVE, 0, point);
    PostMessageA(r.text, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(r.text, WM_LBUTTONUP, 0, point);
    return ::testing::AssertionSuccess();
}

class HelpReader : public ::testing::Test {
protected:
    void SetUp() override {
        // WinHelpA waits forever on a file that is missing: make sure it is there.
        ASSERT_NE(GetFileAttributesA(kHelpFile), INVALID_FILE_ATTRIBUTES)
            << kHelpFile << " is missing in the working directory";
    }
    qdxtest::HelpReaderGuard guard_;
};

TEST_F(HelpReader, ContentsShowsTheTitleAndJumpsToTheFiveTopics) {
    ASSERT_TRUE(RequestHelp(HELP_CONTENTS, 0));
    Reader r;
    ASSERT_TRUE(WaitForTopic("Contents", r));
    const std::string text = WindowText(r.text);
    const char* links[] = {"User's Guide", "Installation Instructions",
                           "Network Administrator's Information", "Settings",
                           "Software Licence Terms"};
    for (const char* link : links) EXPECT_TRUE(Contains(text, link)) << link;

    PixelCounts pixels = CountPixels(Screenshot(r, "contents"));
    EXPECT_GT(pixels.inked, 0.02) << "the topic area looks empty";
    EXPECT_GT(pixels.green, 200) << "no jump hotspots drawn";

    // Each jump opens its topic; HELP_CONTENTS comes back to the contents.
    for (const char* link : links) {
        ASSERT_TRUE(ClickText(r, link));
        Reader target;
        EXPECT_TRUE(WaitForTopic(link, target)) << "after clicking " << link;
        ASSERT_TRUE(RequestHelp(HELP_CONTENTS, 0));
        ASSERT_TRUE(WaitForTopic("Contents", r));
    }
}

TEST_F(HelpReader, Context110ShowsTheSettingsTopic) {
    ASSERT_TRUE(RequestHelp(HELP_CONTEXT, 110));
    Reader r;
    ASSERT_TRUE(WaitForTopic("Settings", r));
    const std::string text = WindowText(r.text);
    for (const char* field : {"Server name or IP Address", "Record Channel", "User Name", "Password",
                              "Prompt for data when recording is started",
                              "Activate F5 and F8 as system wide 'hot' keys"})
        EXPECT_TRUE(Contains(text, field)) << field;
    PixelCounts pixels = CountPixels(Screenshot(r, "context-110"));
    EXPECT_GT(pixels.inked, 0.02) << "the topic area looks empty";
}

TEST_F(HelpReader, ReaderCommandLineOpensAContextString) {
    // The reader's own way in: "-i <context string>" (hashed like a jump target).
    char cmd[] = "winhlp32.exe -i IDH_NETWORK_ADMIN .\\qdxremote.hlp";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(qdxtest::StartProcess(nullptr, cmd, FALSE, 0, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    // This process is ours: end it even when it never made a reader window
    // (an error box alone), after the guard's polite WM_CLOSE.
    struct Owned {
        HANDLE process;
        ~Owned() {
            CloseHelpReaders();
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
            CloseHandle(process);
        }
    } owned{pi.hProcess};
    Reader r;
    ASSERT_TRUE(WaitForTopic("Network Administrator's Information", r));
    // Opened from its command line, the reader names the window after the
    // file's title. (A window that WinHelpA started keeps the reader's own
    // caption under Wine, so the other tests check the topic text instead.)
    EXPECT_TRUE(Contains(CaptionOf(r.main), kHelpTitle)) << "caption: " << CaptionOf(r.main);
    const std::string text = WindowText(r.text);
    EXPECT_TRUE(Contains(text, "264"));
    EXPECT_TRUE(Contains(text, "HKEY_LOCAL_MACHINE\\Software\\Tallowind\\QDXRemote\\Settings"));
    PixelCounts pixels = CountPixels(Screenshot(r, "network-admin"));
    EXPECT_GT(pixels.inked, 0.02);
}

}  // namespace
