#include "net/ipsocket.h"

#include <ws2tcpip.h>

namespace {

// One select slice on a single socket; returns select's result.
int WaitSlice(SOCKET s, bool read, bool write, bool except, fd_set* writeSet = nullptr) {
    fd_set r, w, e;
    FD_ZERO(&r);
    FD_ZERO(&w);
    FD_ZERO(&e);
    if (read) FD_SET(s, &r);
    if (write) FD_SET(s, &w);
    if (except) FD_SET(s, &e);
    timeval slice = {0, kSliceMs * 1000};
    int n = ::select(0, read ? &r : nullptr, write ? &w : nullptr, except ? &e : nullptr, &slice);
    if (writeSet) *writeSet = w;
    return n;
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
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return kLinkDone;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) {
        s.Reset();
        return kLinkFailed;
    }
    for (;;) {  // completion wait: writable means connected, exception alone means refused
        fd_set writable;
        int n = WaitSlice(s.Get(), false, true, true, &writable);
        if (n > 0) {
            if (FD_ISSET(s.Get(), &writable)) return kLinkDone;
            break;
        }
        if (n < 0) break;
        if (stop.IsSet()) {
            s.Reset();
            return kLinkAborted;
        }
        budgetMs -= kSliceMs;
        if (budgetMs <= 0) break;
    }
    s.Reset();
    return kLinkFailed;
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
        int ready = WaitSlice(s, false, true, false);
        if (ready < 0) return kLinkFailed;
        if (ready == 0) {
            budgetMs -= kSliceMs;
            if (budgetMs <= 0) return kLinkFailed;
        }
    }
}

int ProcessRecvReady(const LSignalObject& stop, SOCKET s, void* buffer, unsigned maxBytes, int& received,
                     int budgetMs) {
    received = 0;
    if (s == INVALID_SOCKET) return kLinkFailed;
    if (maxBytes == 0) return kLinkDone;
    for (;;) {
        int n = WaitSlice(s, true, false, false);
        if (n > 0) break;
        if (n < 0) return kLinkFailed;
        if (stop.IsSet()) return kLinkAborted;
        budgetMs -= kSliceMs;
        if (budgetMs <= 0) return kLinkFailed;
    }
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
