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

HANDLE Processes::Track(DWORD pid) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (h) handles_.push_back(h);
    return h;
}

DWORD Processes::Start(const std::string& path, const std::string& arguments) {
    std::string command = "\"" + path + "\"" + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!StartProcess(path.c_str(), &command[0], FALSE, 0, nullptr, &si, &pi)) return 0;
    CloseHandle(pi.hThread);
    handles_.push_back(pi.hProcess);
    return pi.dwProcessId;
}

long Processes::WaitForExit(DWORD pid, DWORD timeoutMs) {
    for (HANDLE h : handles_) {
        if (GetProcessId(h) != pid) continue;
        if (WaitForSingleObject(h, timeoutMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(h, &code);
        return static_cast<long>(code);
    }
    return -1;
}

void Processes::EndAll() {
    for (HANDLE h : handles_) {
        if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) {
            TerminateProcess(h, 1);
            WaitForSingleObject(h, 5000);
        }
        CloseHandle(h);
    }
    handles_.clear();
}

}  // namespace qdxtest
