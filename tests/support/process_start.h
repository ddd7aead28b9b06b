// Starting a test's helper process (the recorder, the client) under Wine.
#pragma once

#include <windows.h>

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

}  // namespace qdxtest
