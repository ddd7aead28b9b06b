// Stream socket operations with time budgets and a stop signal. Every wait is
// on the socket's network events and the stop signal together, so a stop ends
// any wait at once; the budgets are measured by the clock, so a dead peer ends
// a wait when its budget is used up.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "common/handles.h"
#include "core/hostport.h"
#include "net/signal.h"

// Result codes of the operations.
constexpr int kLinkDone = 0;     // connected, all bytes sent, or bytes received
constexpr int kLinkAborted = 1;  // the stop signal was found set
constexpr int kLinkFailed = 2;   // error, name not resolved, refused, time-out, peer closed
constexpr int kLinkQuiet = 3;    // WaitReadable only: nothing came within the time

constexpr int kSendChunk = 1024;           // most bytes handed to one send call
constexpr unsigned short kRecorderPort = 264;  // used when the server text names none

namespace qdx {
struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() { return INVALID_SOCKET; }
    static void Close(Handle s) { ::closesocket(s); }
};
using UniqueSocket = UniqueOwner<SocketTraits>;
}  // namespace qdx

// Owner of one connection's socket and of one Windows Sockets start-up.
class LIPSocket {
public:
    LIPSocket() noexcept;   // WSAStartup 2.2; the socket is not made yet
    ~LIPSocket();           // closes the socket if any, then WSACleanup
    LIPSocket(const LIPSocket&) = delete;
    LIPSocket& operator=(const LIPSocket&) = delete;

    qdx::UniqueSocket hSocket;

private:
    bool started;
};

// Connects a fresh non-blocking socket (closing any the owner held) to an
// IPv4 address or host name. On 1 or 2 the owner holds none.
int ProcessConnect(const LSignalObject& stop, qdx::UniqueSocket& s, const char* szHostAddress, unsigned short port,
                   int budgetMs, bool noDelay);
// Sends nBytes in chunks; the budget is the time spent waiting for room.
int ProcessSend(const LSignalObject& stop, SOCKET s, const void* data, int nBytes, int budgetMs);
// Receives what is ready, at most maxBytes; on 0, received is 1 or more.
int ProcessRecvReady(const LSignalObject& stop, SOCKET s, void* buffer, unsigned maxBytes, int& received,
                     int budgetMs);
// Waits at most timeoutMs for the socket to become readable (data or the
// peer's close): 0 readable, 1 stopped, 2 error, 3 quiet.
int WaitReadable(const LSignalObject& stop, SOCKET s, int timeoutMs);
// Receives exactly nBytes; the budget applies afresh to every quiet period.
int ProcessRecvBytes(const LSignalObject& stop, SOCKET s, void* buffer, unsigned nBytes, int budgetMs);

// SplitHostPort, then ProcessConnect to that host and port. A refused server
// text fails (2) without a socket being made.
int ProcessConnectWithPort(const LSignalObject& stop, qdx::UniqueSocket& s, const char* szServer,
                           unsigned short defaultPort, int budgetMs, bool noDelay);
