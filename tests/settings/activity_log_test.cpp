// Activity log: the alert's timing with a clock the test sets, the file of the
// day in a real folder, and the view messages reaching a real edit control.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "files.h"
#include "log/activitylog.h"
#include "log/logclock.h"
#include "registry.h"

using qdxtest::FileExists;
using qdxtest::FolderExists;
using qdxtest::RegValueGuard;
using qdxtest::TempFolder;

namespace {

SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

// The clock the log sees during a test.
DWORD testTick = 0;
SYSTEMTIME testTime = At(2013, 3, 5, 12, 0, 0);
bool testTimeAvailable = true;
DWORD TestTick() { return testTick; }
bool TestLocalTime(SYSTEMTIME* out) {
    *out = testTime;
    return testTimeAvailable;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// LogView is process-wide: each test starts it clean and gives the system clock back.
class ActivityLog : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogClock(TestTick, TestLocalTime);
        testTick = 1000;
        testTime = At(2013, 3, 5, 12, 0, 0);
        testTimeAvailable = true;
        LogView.tail.Clear();
        LogView.alert = false;
        LogView.alertTick = 0;
        LogView.view = nullptr;
        logsValue_.SetText(logs_.Path());
    }
    void TearDown() override {
        SetLogClock(nullptr, nullptr);
        LogView.view = nullptr;
        LogView.alert = false;
        LogView.tail.Clear();
    }
    std::string LogFile(const char* date) const { return logs_ / (std::string(date) + " QDX Remote Control Log.txt"); }

    qdxtest::ProductKeyGuard product_;
    RegValueGuard logsValue_{HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Folders", "Logs"};
    TempFolder logs_{"logs"};
};

TEST_F(ActivityLog, AlertKeepsTheViewRedForSixtySeconds) {
    const DWORD t = 5000;
    testTick = t;
    RaiseLogAlert();
    EXPECT_TRUE(LogView.alert);
    EXPECT_EQ(LogView.alertTick, t);
    testTick = t + 30000;
    AppendLogView("plain\r\n");
    EXPECT_TRUE(LogView.alert);
    testTick = t + 61000;
    AppendLogView("plain\r\n");
    EXPECT_FALSE(LogView.alert);
}

TEST_F(ActivityLog, SecondAlertRenewsTheHighlight) {
    const DWORD t = 5000;
    testTick = t;
    RaiseLogAlert();
    testTick = t + 50000;
    RaiseLogAlert();
    testTick = t + 61000;
    AppendLogView("plain\r\n");
    EXPECT_TRUE(LogView.alert);
    testTick = t + 110000;
    AppendLogView("plain\r\n");
    EXPECT_TRUE(LogView.alert);  // exactly 60 s after the renewal: not yet over
    testTick = t + 110001;
    AppendLogView("plain\r\n");
    EXPECT_FALSE(LogView.alert);
}

TEST_F(ActivityLog, AlertTimingAcrossTheTickWrap) {
    testTick = 0xFFFF0000u;  // 65.5 s before the tick count wraps
    RaiseLogAlert();
    testTick = 0xFFFF0000u + 30000u;
    AppendLogView("plain\r\n");
    EXPECT_TRUE(LogView.alert);
    testTick = 0xFFFF0000u + 70000u;  // wrapped round to a small number
    ASSERT_LT(testTick, 0x10000u);
    AppendLogView("plain\r\n");
    EXPECT_FALSE(LogView.alert);
}

TEST_F(ActivityLog, ColoursFollowTheAlertFlag) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ApplyLogViewColours(dc), LogView.normalBrush.Get());
    EXPECT_EQ(GetBkColor(dc), RGB(0, 51, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(68, 255, 68));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    RaiseLogAlert();
    EXPECT_EQ(ApplyLogViewColours(dc), LogView.alertBrush.Get());
    EXPECT_EQ(GetBkColor(dc), RGB(128, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
    DeleteDC(dc);

    LOGBRUSH brush{};
    ASSERT_EQ(GetObject(LogView.normalBrush.Get(), sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, RGB(0, 51, 0));
    ASSERT_EQ(GetObject(LogView.alertBrush.Get(), sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, RGB(128, 0, 0));
    LOGFONTA font{};
    ASSERT_GT(GetObjectA(LogView.font.Get(), sizeof font, &font), 0);
    EXPECT_EQ(font.lfHeight, 13);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_STREQ(font.lfFaceName, "");
}

TEST_F(ActivityLog, LinesGoToTheFileOfTheDay) {
    testTime = At(2013, 3, 5, 23, 59, 59);
    WriteLogLine("QDX Remote Control Run");
    WriteLogLine("Connecting to recorder");
    testTime = At(2013, 3, 6, 0, 0, 0);
    WriteLogLine("after midnight");

    EXPECT_EQ(ReadFile(LogFile("2013-03-05")), "23:59:59 QDX Remote Control Run\r\n23:59:59 Connecting to recorder\r\n");
    EXPECT_EQ(ReadFile(LogFile("2013-03-06")), "00:00:00 after midnight\r\n");
    EXPECT_EQ(std::string(LogView.tail.Text()),
              "23:59:59 QDX Remote Control Run\r\n23:59:59 Connecting to recorder\r\n00:00:00 after midnight\r\n");
}

TEST_F(ActivityLog, OverlongTextReachesTheFileCut) {
    const std::string text(3000, 'z');
    WriteLogLine(text.c_str());
    EXPECT_EQ(ReadFile(LogFile("2013-03-05")), "12:00:00 " + std::string(2036, 'z') + "\r\n");
}

TEST_F(ActivityLog, MissingLogsFolderLeavesTheFileOutButTheViewGetsTheLine) {
    const std::string missing = logs_ / "missing";
    logsValue_.SetText(missing);
    WriteLogLine("Connection to server broken");
    EXPECT_FALSE(FolderExists(missing));
    EXPECT_STREQ(LogView.tail.Text(), "12:00:00 Connection to server broken\r\n");
}

TEST_F(ActivityLog, LogsFolderTooLongForTheFileNameWritesNoCutName) {
    // A folder of 240 characters leaves no room for the whole file name: the
    // file would get a cut name, so the line goes to the view only.
    std::string deep = logs_.Path();
    deep += "\\" + std::string(240 - deep.size() - 1, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    logsValue_.SetText(deep);
    WriteLogLine("line");
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((deep + "\\*").c_str(), &fd);
    int files = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    EXPECT_EQ(files, 0);
    EXPECT_STREQ(LogView.tail.Text(), "12:00:00 line\r\n");
}

TEST_F(ActivityLog, NoLocalTimeDropsTheEntry) {
    testTimeAvailable = false;
    WriteLogLine("lost");
    EXPECT_FALSE(FileExists(LogFile("2013-03-05")));
    EXPECT_EQ(LogView.tail.Length(), 0u);
}

TEST_F(ActivityLog, ReaderCanFollowTheFileWhileLinesAreWritten) {
    WriteLogLine("first");
    const std::string path = LogFile("2013-03-05");
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    WriteLogLine("second");
    char data[128] = {};
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(reader, data, sizeof data - 1, &got, nullptr));
    EXPECT_STREQ(data, "12:00:00 first\r\n12:00:00 second\r\n");
    CloseHandle(reader);
}

TEST_F(ActivityLog, FileLockedAgainstWritersLosesOnlyTheFileLine) {
    WriteLogLine("first");
    const std::string path = LogFile("2013-03-05");
    HANDLE locker = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    WriteLogLine("second");
    CloseHandle(locker);
    EXPECT_EQ(ReadFile(path), "12:00:00 first\r\n");
    EXPECT_STREQ(LogView.tail.Text(), "12:00:00 first\r\n12:00:00 second\r\n");
}

// The view is given each line, not the whole text: it must still show what a
// control given the whole tail shows (text, caret, where every line wraps, the
// lines scrolled into view).
TEST_F(ActivityLog, ViewMessagesReachARealEditControl) {
    HWND frame = CreateWindowExA(0, "STATIC", "log", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(frame, nullptr);
    HWND edits[2];
    for (HWND& edit : edits) {
        edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                                  ES_READONLY,
                               0, 0, 380, 130, frame, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(edit, nullptr);
    }
    // Lines that wrap at blanks, hyphens, slashes, brackets and quotes, or nowhere.
    static const char* const kTexts[] = {"status line number ", "Unable to connect to host-name.example:2640/x (10061) ",
                                         "Record \"file 12-345/6\" on channel ", "a-b-c-d-e-f-g-h/i/j/k?l=m;n "};
    HWND edit = edits[0], whole = edits[1];
    LogView.view = edit;
    SetWindowTextA(edit, "text of somebody else");  // replaced by the tail at the next line
    for (int i = 0; i < 60; ++i) {  // past the buffer's size, so it has been cut (lines added, front cut)
        testTime = At(2013, 3, 5, 12, i / 60, i % 60);
        WriteLogLine((kTexts[i % 4] + std::to_string(i) + std::string(60 + i % 7 * 9, i % 3 ? '.' : ' ')).c_str());
        std::string shown(LogTail::kCapacity, '\0');
        shown.resize(GetWindowTextA(edit, &shown[0], static_cast<int>(shown.size())));
        ASSERT_EQ(shown, std::string(LogView.tail.Text())) << "line " << i;
        SetWindowTextA(whole, LogView.tail.Text());
        const WPARAM caret = LogView.tail.Length() - 2;
        SendMessageA(whole, EM_SETSEL, caret, static_cast<LPARAM>(caret));
        SendMessageA(whole, EM_SCROLLCARET, 0, 0);
        for (UINT message : {EM_GETFIRSTVISIBLELINE, EM_GETSEL, EM_GETLINECOUNT})
            ASSERT_EQ(SendMessageA(edit, message, 0, 0), SendMessageA(whole, message, 0, 0))
                << "line " << i << ", message " << message;
        for (WPARAM row = 0, rows = SendMessageA(whole, EM_GETLINECOUNT, 0, 0); row < rows; ++row)
            ASSERT_EQ(SendMessageA(edit, EM_LINEINDEX, row, 0), SendMessageA(whole, EM_LINEINDEX, row, 0))
                << "line " << i << ", row " << row;
    }
    LogView.view = nullptr;
    DestroyWindow(frame);
}

TEST_F(ActivityLog, AlertRepaintsTheView) {
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE, 0, 0, 300, 200,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    UpdateWindow(edit);
    LogView.view = edit;
    ValidateRect(edit, nullptr);
    RaiseLogAlert();
    EXPECT_TRUE(GetUpdateRect(edit, nullptr, FALSE)) << "turning red must repaint the view";
    LogView.view = nullptr;
    DestroyWindow(edit);
}

// A view whose thread does not answer costs at most the time-out per message.
TEST_F(ActivityLog, HungViewDoesNotHoldUpTheLog) {
    struct Shared {
        HWND edit = nullptr;
        HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    } shared;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) WINAPI -> DWORD {
            auto* s = static_cast<Shared*>(p);
            s->edit = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPEDWINDOW | ES_MULTILINE, 0, 0, 100, 100, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
            SetEvent(s->created);
            WaitForSingleObject(s->release, 10000);  // hung: no messages are handled meanwhile
            DestroyWindow(s->edit);
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(shared.created, 5000);
    ASSERT_NE(shared.edit, nullptr);
    LogView.view = shared.edit;
    const DWORD start = GetTickCount();
    WriteLogLine("Connection to server broken");
    const DWORD elapsed = GetTickCount() - start;
    LogView.view = nullptr;
    SetEvent(shared.release);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(shared.created);
    CloseHandle(shared.release);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_STREQ(LogView.tail.Text(), "12:00:00 Connection to server broken\r\n");
}

}  // namespace
