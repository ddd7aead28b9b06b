// Test harness: starts the real qdxrecorder binary on 127.0.0.1 with a free
// port, talks to it over loopback like a client would, and reads its log.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rectest {

using Bytes = std::vector<uint8_t>;

// The server process; killed by its PID when the object goes away.
class Recorder {
public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts the server with the given extra options; false (with a gtest
    // failure) when it does not report a port within a few seconds.
    bool Start(const std::vector<std::string>& args);
    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }

    std::string Log() const;
    // Waits until the log holds needle; returns the log (empty on time-out).
    std::string WaitForLog(const std::string& needle, int timeoutMs = 3000) const;
    // Levels count of "session N end levels L reason R", or -1 on time-out.
    long long WaitForEnd(int session, std::string* reason, int timeoutMs = 3000) const;
    // Exit status after the process ended by itself, -1 on time-out.
    int WaitExit(int timeoutMs);
    int OpenFds() const;
    int Threads() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
};

// Runs the binary to its end (for --help and bad options); returns the exit
// status and its standard output in *out.
int RunToEnd(const std::vector<std::string>& args, std::string* out);

// A loopback client socket with bounded waits.
class Client {
public:
    Client() = default;
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    Client(Client&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }

    bool Connect(int port);
    bool Send(const Bytes& data);
    // Reads up to n bytes within timeoutMs; stops early on close.
    Bytes Recv(size_t n, int timeoutMs);
    // True when the server closes (or resets) within timeoutMs.
    bool ClosedWithin(int timeoutMs);
    // True when the server resets the connection (RST, not FIN) within timeoutMs.
    bool ResetWithin(int timeoutMs);
    void Close();
    // Vanishes without a goodbye: SO_LINGER 0 makes close() send a reset.
    void Reset();
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

Bytes LoginRequest(const std::string& user, const std::string& password);
Bytes RecordRequest(uint8_t channel, const std::string& data);
// Connects, logs in and sends the record request; false unless FF 00 came.
bool StartRecording(Client& c, int port, const std::string& user, const std::string& password,
                    uint8_t channel = 0, const std::string& data = "");
long long NowMs();

}  // namespace rectest
