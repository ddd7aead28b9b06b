#include "setup/programstart.h"

#include <windows.h>

#include "common/handles.h"
#include "core/text.h"
#include "setup/shellstart.h"

namespace {

// True when this process runs with an administrator's full token.
bool ProcessElevated() {
    qdx::UniqueHandle token;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()) &&
           ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

}  // namespace

void StartProgram(const char* path, const char* arguments) {
    char commandLine[qdx::kTextSize + 32];
    if (qdx::FormatText(commandLine, sizeof commandLine, "\"%s\"%s", path, arguments ? arguments : "") < 0) return;
    ::WinExec(commandLine, SW_SHOWNORMAL);
}

void StartInstalledProgram(const char* path) {
    if (!ProcessElevated() || !StartThroughDesktopShell(path)) StartProgram(path, nullptr);
}
