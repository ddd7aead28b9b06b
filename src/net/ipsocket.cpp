#include "net/ipsocket.h"

#include <ws2tcpip.h>

namespace {

// A wait's outcomes.
enum class Wait { kReady, kStopped, kError, kQuiet };

// The longest single wait for the socket's event. The event is only a wake-up
// call (readiness is always asked of select), so this only bounds how late a
// readiness would be seen if an event were ever missed; the stop signal is
// waited on throughout.
constexpr DWORD kEventWaitMs = 200;

// Asks select, without waiting, whether the socket is readable (forWrite
// false) or writable or failed (forWrite true); *writable tells which.
int Poll(SOCKET s, bool forWrite, bool* writable) {
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    timeval now = {0, 0};
    int n = forWrite ? ::select(0, nullptr, &set, &failed, &now) : ::select(0, &set, nullptr, nullptr, &now);
    if (writable) *writable = forWrite && n > 0 && FD_ISSET(s, &set);
    return n;
}

// Waits until the socket is ready (see Poll), the stop signal is set or
// timeoutMs have passed. A stop already set wins over a ready socket.
Wait WaitSocket(const LSignalObject& stop, SOCKET s, bool forWrite, int timeoutMs, bool* writable = nullptr) {
    if (stop.IsSet()) return Wait::kStopped;
    int n = Poll(s, forWrite, writable);
    if (n != 0) return n > 0 ? Wait::kReady : Wait::kError;
    if (timeoutMs <= 0) return Wait::kQuiet;
    qdx::UniqueHandle event(::WSACreateEvent());
    const long events = forWrite ? FD_WRITE | FD_CONNECT | FD_CLOSE : FD_READ | FD_CLOSE;
    if (!event || ::WSAEventSelect(s, event.Get(), events) != 0) return Wait::kError;
    const DWORD start = ::GetTickCount();
    Wait result = Wait::kQuiet;
    for (;;) {
        // Asked after the event was tied to the socket: what came before is seen here, what comes after sets it.
        n = Poll(s, forWrite, writable);
        if (n != 0) {
            result = n > 0 ? Wait::kReady : Wait::kError;
            break;
        }
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= static_cast<DWORD>(timeoutMs)) break;
        DWORD left = static_cast<DWORD>(timeoutMs) - waited;
        HANDLE both[2] = {stop.Get(), event.Get()};
        DWORD woken = ::WaitForMultipleObjects(2, both, FALSE, left < kEventWaitMs ? left : kEventWaitMs);
        if (woken == WAIT_OBJECT_0 + 1) {
            ::WSAResetEvent(event.Get());
        } else if (woken != WAIT_TIMEOUT) {
            result = Wait::kStopped;  // the stop, or a broken stop signal, which counts as set
            break;
        }
    }
    ::WSAEventSelect(s, nullptr, 0);  // the socket stays non-blocking
    return result;
}

// The IPv4 address of a dotted address or host name, INADDR_NONE when none.
unsigned long ResolveHost(const char* host) {
    // An empty name would make the resolver answer with this machine's own
    // addresses; nobody configures that by leaving the server empty.
    if (!host || host[0] == '\0') return INADDR_NONE;
    unsigned long address = ::inet_addr(host);
    if (address != INADDR_NONE) return address;
    const hostent* entry = ::gethostbyname(host);
    if (entry && entry->h_addrtype == AF_INET && entry->h_length == 4 && entry->h_addr_list &&
        entry->h_addr_list[0]) {
        in_addr first;
        memcpy(&first, entry->h_addr_list[0], sizeof first);
        address = first.s_addr;
    }
    return address;
}

}  // namespace

LIPSocket::LIPSocket() noexcept : started(false) {
    WSADATA data;
    started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

LIPSocket::~LIPSocket() {
    hSocket.Reset();  // while Windows Sockets is still started
    // Only a start-up that succeeded is paired with a clean-up: an extra
    // WSACleanup would take away another user's start-up in this process.
    if (started) ::WSACleanup();
}

int ProcessConnect(const LSignalObject& stop, qdx::UniqueSocket& s, const char* szHostAddress, unsigned short port,
                   int budgetMs, bool noDelay) {
    s.Reset(::socket(AF_INET, SOCK_STREAM, 0));
    if (!s) return kLinkFailed;
    u_long nonBlocking = 1;
    ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
    if (noDelay) {
        int on = 1;
        ::setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ResolveHost(szHostAddress);
    if (address.sin_addr.s_addr == INADDR_NONE) {
        s.Reset();
        return kLinkFailed;
    }
    if (stop.IsSet()) {  // stopped while the name was looked up
        s.Reset();
        return kLinkAborted;
    }
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return kLinkDone;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) {
        s.Reset();
        return kLinkFailed;
    }
    // Completion: writable means connected, failed alone means refused.
    bool writable = false;
    const Wait outcome = WaitSocket(stop, s.Get(), true, budgetMs, &writable);
    if (outcome == Wait::kReady && writable) return kLinkDone;
    s.Reset();
    return outcome == Wait::kStopped ? kLinkAborted : kLinkFailed;
}

int ProcessSend(const LSignalObject& stop, SOCKET s, const void* data, int nBytes, int budgetMs) {
    const char* next = static_cast<const char*>(data);
    int remaining = nBytes > 0 ? nBytes : 0;
    for (;;) {
        if (stop.IsSet()) return kLinkAborted;
        if (remaining == 0) return kLinkDone;
        int chunk = remaining < kSendChunk ? remaining : kSendChunk;
        int n = ::send(s, next, chunk, 0);
        if (n >= remaining) return kLinkDone;
        if (n < 0) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) return kLinkFailed;
        } else {
            next += n;
            remaining -= n;
            if (n >= kSendChunk) continue;  // a full chunk went out: try the next at once
        }
        // The budget is the time spent waiting for room, however it is split up.
        const DWORD start = ::GetTickCount();
        const Wait outcome = WaitSocket(stop, s, true, budgetMs);
        budgetMs -= static_cast<int>(::GetTickCount() - start);
        if (outcome == Wait::kStopped) return kLinkAborted;
        if (outcome != Wait::kReady) return kLinkFailed;
    }
}

int WaitReadable(const LSignalObject& stop, SOCKET s, int timeoutMs) {
    if (s == INVALID_SOCKET) return kLinkFailed;
    switch (WaitSocket(stop, s, false, timeoutMs)) {
        case Wait::kReady: return kLinkDone;
        case Wait::kStopped: return kLinkAborted;
        case Wait::kQuiet: return kLinkQuiet;
        case Wait::kError: break;
    }
    return kLinkFailed;
}

int ProcessRecvReady(const LSignalObject& stop, SOCKET s, void* buffer, unsigned maxBytes, int& received,
                     int budgetMs) {
    received = 0;
    if (s == INVALID_SOCKET) return kLinkFailed;
    if (maxBytes == 0) return kLinkDone;
    const int code = WaitReadable(stop, s, budgetMs);
    if (code != kLinkDone) return code == kLinkAborted ? kLinkAborted : kLinkFailed;
    u_long ready = 0;
    if (::ioctlsocket(s, FIONREAD, &ready) != 0) return kLinkFailed;
    if (ready == 0) return kLinkFailed;  // readable with nothing to read: the peer closed
    // recv takes an int: keep a huge maximum from turning negative.
    unsigned want = ready < maxBytes ? static_cast<unsigned>(ready) : maxBytes;
    if (want > 0x7FFFFFFFu) want = 0x7FFFFFFFu;
    int n = ::recv(s, static_cast<char*>(buffer), static_cast<int>(want), 0);
    if (n > 0) {
        received = n;
        return kLinkDone;
    }
    received = 0;
    return kLinkFailed;
}

int ProcessRecvBytes(const LSignalObject& stop, SOCKET s, void* buffer, unsigned nBytes, int budgetMs) {
    char* next = static_cast<char*>(buffer);
    unsigned missing = nBytes;
    if (s == INVALID_SOCKET) return kLinkFailed;
    while (missing > 0) {
        int received = 0;
        int code = ProcessRecvReady(stop, s, next, missing, received, budgetMs);
        if (code != kLinkDone) return code;
        next += received;
        missing -= static_cast<unsigned>(received);
    }
    return kLinkDone;
}

int ProcessConnectWithPort(const LSignalObject& stop, qdx::UniqueSocket& s, const char* szServer,
                           unsigned short defaultPort, int budgetMs, bool noDelay) {
    char host[qdx::kTextSize];
    unsigned short port = 0;
    if (!SplitHostPort(szServer, host, defaultPort, port)) {
        s.Reset();  // as every failed connect leaves it
        return kLinkFailed;
    }
    return ProcessConnect(stop, s, host, port, budgetMs, noDelay);
}
