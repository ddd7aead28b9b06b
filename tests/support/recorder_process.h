// Starts the substitute recorder (".\qdxrecorder.exe" in the working
// directory, the win64 build tree) for one test and stops it again.
//
//   RecorderProcess recorder({"--user", "alice", "--password", "pw"});
//   ASSERT_TRUE(recorder.Started()) << recorder.Error();
//   connect to 127.0.0.1:recorder.Port() ...
//   std::string line;
//   ASSERT_TRUE(recorder.WaitForLine("session 1 end", 5000, &line));
//
// It always listens on 127.0.0.1 with a free port, writes its port and log to
// unique files in %TEMP%, and is killed (by its process handle) when the
// object goes.
#pragma once

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

class RecorderProcess {
public:
    // options: further command-line arguments, one per element (quoted as needed).
    // Waits at most startTimeoutMs for the recorder to report its port.
    explicit RecorderProcess(const std::vector<std::string>& options = {}, DWORD startTimeoutMs = 15000);
    ~RecorderProcess();
    RecorderProcess(const RecorderProcess&) = delete;
    RecorderProcess& operator=(const RecorderProcess&) = delete;

    bool Started() const { return port_ != 0; }
    const std::string& Error() const { return error_; }  // why it did not start
    unsigned short Port() const { return port_; }
    std::string Address() const;  // "127.0.0.1:PORT", a server text for the client
    const std::string& CommandLine() const { return commandLine_; }

    // The complete lines of the log so far (without line ends).
    std::vector<std::string> Lines() const;
    // Waits until a log line contains the text (or matches the pattern); the
    // line goes to *found. False on time-out.
    bool WaitForLine(const std::string& substring, DWORD timeoutMs, std::string* found = nullptr) const;
    bool WaitForLine(const std::regex& pattern, DWORD timeoutMs, std::string* found = nullptr) const;
    // Waits for the recorder to exit by itself (e.g. after --max-sessions).
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;

    // Quotes one argument the way the C runtime splits command lines.
    static std::string QuoteArgument(const std::string& argument);

private:
    template <typename Match>
    bool WaitFor(Match match, DWORD timeoutMs, std::string* found) const;

    std::string portFile_;
    std::string logFile_;
    std::string commandLine_;
    std::string error_;
    HANDLE process_ = nullptr;
    unsigned short port_ = 0;
};
