// Driving the real client from a test: its settings, its process, its
// windows and its log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "desktop.h"
#include "recorder_process.h"

namespace client {

constexpr char kTitle[] = "QDX Remote Control";
using qdxtest::kWaitMs;

// Settings under HKLM\Software\Tallowind\QDXRemote: Reset removes them all and
// points the Logs folder at a fresh folder, which it returns.
std::string ResetSettings();
void SetSetting(const char* section, const char* name, const char* value);
std::string GetSetting(const char* section, const char* name, bool* present = nullptr);

// A substitute recorder that accepts alice/secret and sends levels every
// 50 ms, with the client's settings reset and pointing at it as alice with
// `password`.
struct Bench {
    explicit Bench(const std::vector<std::string>& extraOptions = {}, const char* password = "secret");
    bool SessionStarted(int n) const { return recorder.WaitForLine("session " + std::to_string(n) + " start", 0); }
    std::string logs;
    RecorderProcess recorder;
};

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
using qdxtest::WindowText;
std::string ControlText(HWND dialog, int id);
bool Checked(HWND dialog, int id);

// "Confirm Stop" of the client: waits for it, presses the button (IDYES,
// IDNO or IDCANCEL) and waits for it to go; false when it never came.
bool AnswerConfirmStop(DWORD processId, int button, std::string* text = nullptr);
// Closes the main window, answers No and expects the client to end with 0.
void ExitWithNo(Process& client, HWND main);

// Every line of every log file in the folder, in file-name order.
std::vector<std::string> LogLines(const std::string& folder);
// Index of the first line at or after `from` that contains text, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

}  // namespace client
