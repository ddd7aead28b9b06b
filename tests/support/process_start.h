// Starting a test's helper process (the recorder, the client) under Wine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qdxtest {

// Tries beyond the first when a start fails with one of Wine's own errors.
constexpr int kStartRetries = 3;

// CreateProcessA with the same arguments, tried again (at most kStartRetries
// times, after a short pause) when it fails with an error of Wine's own:
// 1359, an internal error, which Wine's wow64 mode now and then gives when it
// starts a program. No process exists after such a failure, so none of the
// started program's code has run. Every retry prints a line beginning with
// "[ RETRIED  ]", which the test command counts. Any other failure is
// returned at once; GetLastError tells the last failure's error.
BOOL StartProcess(const char* application, char* commandLine, BOOL inheritHandles, DWORD flags,
                  const char* directory, STARTUPINFOA* startup, PROCESS_INFORMATION* started);

// The processes a test started or found, each ended by its handle at the
// latest when the owner goes.
class Processes {
public:
    Processes() = default;
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;
    ~Processes() { EndAll(); }
    // A process started elsewhere, ended with the others; its handle, null
    // when it cannot be opened.
    HANDLE Track(DWORD pid);
    // Starts path (quoted) with arguments (StartProcess); the process id, 0 on failure.
    DWORD Start(const std::string& path, const std::string& arguments = "");
    // Waits for the process to end; its exit code, or -1 on time-out.
    long WaitForExit(DWORD pid, DWORD timeoutMs = 20000);
    // Ends every process still running.
    void EndAll();

private:
    std::vector<HANDLE> handles_;
};

}  // namespace qdxtest
