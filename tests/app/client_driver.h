// Driving the real client from a test: its settings, its process, its
// windows, its log, and pictures of the screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace client {

constexpr char kTitle[] = "QDX Remote Control";
constexpr DWORD kWaitMs = 15000;

// Settings under HKLM\Software\Tallowind\QDXRemote: Reset removes them all and
// points the Logs folder at a fresh folder, which it returns.
std::string ResetSettings();
void SetSetting(const char* section, const char* name, const char* value);
std::string GetSetting(const char* section, const char* name, bool* present = nullptr);

// Polls a condition every 20 ms, pumping this thread's messages, until it
// holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = kWaitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(20);
    }
}

// The top-level dialog window with this caption that belongs to a process, or null.
HWND FindDialog(DWORD processId, const char* caption);
HWND FindMainWindow(DWORD processId);  // visible or not
int CountMainWindows();                // of every process
int CountDialogs(DWORD processId, const char* caption);

// qdxremote.exe of the working directory, started by the test.
class Process {
public:
    Process();  // starts it; see Started()
    ~Process();  // terminates it if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    // Waits for its main window; null on time-out.
    HWND WaitForWindow(DWORD timeoutMs = kWaitMs);
    // Waits for the process to end; false on time-out.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Window helpers on another process's windows.
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
bool Checked(HWND dialog, int id);

// Real keyboard input to the foreground window.
void Key(WORD virtualKey, bool up);
void Press(WORD virtualKey);  // down and up
void MakeForeground(HWND window);

// "Confirm Stop" of the client: waits for it, presses the button (IDYES,
// IDNO or IDCANCEL) and waits for it to go; false when it never came.
bool AnswerConfirmStop(DWORD processId, int button, std::string* text = nullptr);

// Every line of every log file in the folder, in file-name order.
std::vector<std::string> LogLines(const std::string& folder);
// Index of the first line at or after `from` that contains text, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

// Screen pixels of a window (its whole frame) and a saved copy under
// artefacts\app\NAME.bmp of the working directory.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // row by row from the top
    COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
Picture Capture(HWND window, const RECT* screenArea = nullptr);
bool SaveArtefact(const Picture& picture, const char* name);

}  // namespace client
