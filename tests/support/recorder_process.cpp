#include "recorder_process.h"

#include "files.h"
#include "process_start.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr DWORD kPollMs = 20;

std::string TempFile(const char* kind) {
    static LONG counter = 0;
    char dir[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) strcpy(dir, ".\\");
    char name[MAX_PATH + 64];
    snprintf(name, sizeof name, "%sqdxrecorder-%lu-%ld-%s.txt", dir, GetCurrentProcessId(),
             InterlockedIncrement(&counter), kind);
    return name;
}

}  // namespace

std::string RecorderProcess::QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') quoted.append(backslashes * 2 + 1, '\\');
        else quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

RecorderProcess::RecorderProcess(const std::vector<std::string>& options, DWORD startTimeoutMs)
    : portFile_(TempFile("port")), logFile_(TempFile("log")) {
    DeleteFileA(portFile_.c_str());
    DeleteFileA(logFile_.c_str());
    commandLine_ = ".\\qdxrecorder.exe --listen 127.0.0.1:0 --port-file " + QuoteArgument(portFile_) +
                   " --log-file " + QuoteArgument(logFile_);
    for (const std::string& option : options) commandLine_ += " " + QuoteArgument(option);

    // The recorder's own stdout would mix with the test's output: send it nowhere.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine_.begin(), commandLine_.end());
    line.push_back('\0');
    BOOL ok = qdxtest::StartProcess(nullptr, line.data(), TRUE, CREATE_NO_WINDOW, nullptr, &si, &pi);
    DWORD createError = GetLastError();
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!ok) {
        error_ = "CreateProcess failed (" + std::to_string(createError) + "): " + commandLine_;
        return;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;

    // The port file is complete once it ends with a line end.
    for (DWORD waited = 0; waited <= startTimeoutMs; waited += kPollMs) {
        std::string text = qdxtest::ReadWholeFile(portFile_);
        if (!text.empty() && text.back() == '\n') {
            long port = strtol(text.c_str(), nullptr, 10);
            if (port > 0 && port < 65536) {
                port_ = static_cast<unsigned short>(port);
                return;
            }
            error_ = "bad port file: " + text;
            return;
        }
        DWORD exitCode = 0;
        if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process_, &exitCode);
            error_ = "recorder exited with " + std::to_string(exitCode) + ": " + commandLine_;
            return;
        }
        Sleep(kPollMs);
    }
    error_ = "no port file within the time limit: " + commandLine_;
}

RecorderProcess::~RecorderProcess() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }
    DeleteFileA(portFile_.c_str());
    DeleteFileA(logFile_.c_str());
}

std::string RecorderProcess::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> RecorderProcess::Lines() const {
    std::string text = qdxtest::ReadWholeFile(logFile_);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

template <typename Match>
bool RecorderProcess::WaitFor(Match match, DWORD timeoutMs, std::string* found) const {
    DWORD start = GetTickCount();
    for (;;) {
        for (const std::string& line : Lines()) {
            if (match(line)) {
                if (found) *found = line;
                return true;
            }
        }
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

bool RecorderProcess::WaitForLine(const std::string& substring, DWORD timeoutMs, std::string* found) const {
    return WaitFor([&](const std::string& line) { return line.find(substring) != std::string::npos; }, timeoutMs,
                   found);
}

bool RecorderProcess::WaitForLine(const std::regex& pattern, DWORD timeoutMs, std::string* found) const {
    return WaitFor([&](const std::string& line) { return std::regex_search(line, pattern); }, timeoutMs, found);
}

bool RecorderProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(process_, exitCode);
    return true;
}
