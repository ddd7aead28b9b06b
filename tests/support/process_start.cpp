#include "process_start.h"

#include <cstdio>

namespace qdxtest {

BOOL StartProcess(const char* application, char* commandLine, BOOL inheritHandles, DWORD flags,
                  const char* directory, STARTUPINFOA* startup, PROCESS_INFORMATION* started) {
    constexpr DWORD kPauseMs = 200;
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessA(application, commandLine, nullptr, nullptr, inheritHandles, flags, nullptr, directory,
                           startup, started))
            return TRUE;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kStartRetries) {
            SetLastError(error);
            return FALSE;
        }
        printf("[ RETRIED  ] CreateProcess failed (%lu) inside Wine, try %d of %d: %s\n", error, attempt + 2,
               kStartRetries + 1, commandLine ? commandLine : application);
        fflush(stdout);
        Sleep(kPauseMs);
    }
}

}  // namespace qdxtest
