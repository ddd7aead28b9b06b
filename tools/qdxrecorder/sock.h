// Minimal portable TCP layer for the substitute recorder: POSIX sockets on
// Linux, Winsock 2.2 on Windows. Every wait is bounded by a select() with a
// time-out, so a silent peer can never hold a session thread forever unless
// the caller asks for that explicitly (negative time-out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace qsock {

#ifdef _WIN32
using Socket = SOCKET;
const Socket kInvalidSocket = INVALID_SOCKET;
#else
using Socket = int;
const Socket kInvalidSocket = -1;
#endif

// Results of the I/O helpers besides a positive byte count.
enum IoResult : int {
    kClosed = 0,    // orderly close by the peer (recv only)
    kError = -1,    // socket error, including a reset by the peer
    kTimeout = -2,  // nothing became ready within the time-out
};

// Process-wide set-up: Winsock start-up, SIGPIPE ignored. False on failure.
bool Startup();

// Owns one socket handle; closes it on destruction. Move-only.
class OwnedSocket {
public:
    OwnedSocket() = default;
    explicit OwnedSocket(Socket s) : s_(s) {}
    ~OwnedSocket() { Reset(); }
    OwnedSocket(OwnedSocket&& o) noexcept : s_(o.Release()) {}
    OwnedSocket& operator=(OwnedSocket&& o) noexcept {
        if (this != &o) { Reset(); s_ = o.Release(); }
        return *this;
    }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;

    Socket Get() const { return s_; }
    bool Valid() const { return s_ != kInvalidSocket; }
    Socket Release() { Socket s = s_; s_ = kInvalidSocket; return s; }
    void Reset();

private:
    Socket s_ = kInvalidSocket;
};

// Parses a dotted IPv4 address (or "localhost") into network order.
bool ParseIPv4(const std::string& text, uint32_t* addrNet);

// Creates a listening socket bound to addr:port (port 0 = any free port).
// On failure returns an invalid socket and a message in *err.
OwnedSocket Listen(uint32_t addrNet, uint16_t port, std::string* err);

// Port actually bound by a listening socket, 0 on failure.
uint16_t BoundPort(Socket s);

// Accepts one connection (call after WaitReadable reported the listener
// ready). The accepted socket is non-blocking; *peer receives "a.b.c.d:port".
OwnedSocket Accept(Socket listener, std::string* peer);

// Waits until the socket is readable (or writable). timeoutMs < 0 waits
// without limit. Returns 1 ready, kTimeout, or kError.
int WaitReadable(Socket s, int timeoutMs);
int WaitWritable(Socket s, int timeoutMs);

// One recv after waiting for data: >0 bytes, kClosed, kError or kTimeout.
int RecvSome(Socket s, void* buf, size_t len, int timeoutMs);

// One send after waiting for room: >0 bytes accepted, kError or kTimeout.
int SendSome(Socket s, const void* buf, size_t len, int timeoutMs);

// Sends every byte; each wait for room is limited to timeoutMs.
// Returns len, kError or kTimeout.
int SendAll(Socket s, const void* buf, size_t len, int timeoutMs);

// Ends our sending direction (FIN) while still reading.
void ShutdownSend(Socket s);

// Makes the coming close a reset (RST) instead of an orderly close (FIN).
void SetAbortiveClose(Socket s);

// Replaces `to` by `from` atomically where the platform allows it.
bool RenameReplace(const std::string& from, const std::string& to);

// Current process id, for unique temporary file names.
unsigned long ProcessId();

}  // namespace qsock
