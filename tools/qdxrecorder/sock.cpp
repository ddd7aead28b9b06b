#include "sock.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <unistd.h>
#endif

namespace qsock {

namespace {

#ifdef _WIN32
const int kSendFlags = 0;
bool WouldBlock() {
    int e = WSAGetLastError();
    return e == WSAEWOULDBLOCK || e == WSAEINTR;
}
void CloseRaw(Socket s) { closesocket(s); }
void SetNonBlocking(Socket s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
#else
// A peer that vanished must make send() fail, not kill the whole server.
const int kSendFlags = MSG_NOSIGNAL;
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
void CloseRaw(Socket s) { ::close(s); }
void SetNonBlocking(Socket s) {
    int fl = fcntl(s, F_GETFL, 0);
    if (fl >= 0) fcntl(s, F_SETFL, fl | O_NONBLOCK);
}
#endif

// select() on one socket; which = 0 read, 1 write.
int WaitOne(Socket s, int which, int timeoutMs) {
#ifndef _WIN32
    if (s < 0 || s >= FD_SETSIZE) return kError;  // select cannot watch it
#endif
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv;
    timeval* ptv = nullptr;
    if (timeoutMs >= 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        ptv = &tv;
    }
    int n = select(static_cast<int>(s) + 1, which == 0 ? &set : nullptr,
                   which == 1 ? &set : nullptr, nullptr, ptv);
    if (n > 0) return 1;
    if (n == 0) return kTimeout;
#ifndef _WIN32
    if (errno == EINTR) return kTimeout;
#endif
    return kError;
}

}  // namespace

bool Startup() {
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    signal(SIGPIPE, SIG_IGN);
    return true;
#endif
}

void OwnedSocket::Reset() {
    if (s_ != kInvalidSocket) CloseRaw(s_);
    s_ = kInvalidSocket;
}

bool ParseIPv4(const std::string& text, uint32_t* addrNet) {
    const std::string t = text == "localhost" ? std::string("127.0.0.1") : text;
    unsigned parts[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= t.size() || t[pos] < '0' || t[pos] > '9') return false;
        unsigned v = 0;
        int digits = 0;
        while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9') {
            v = v * 10 + static_cast<unsigned>(t[pos] - '0');
            if (++digits > 3 || v > 255) return false;
            ++pos;
        }
        parts[i] = v;
        if (i < 3) {
            if (pos >= t.size() || t[pos] != '.') return false;
            ++pos;
        }
    }
    if (pos != t.size()) return false;
    uint32_t host = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    *addrNet = htonl(host);
    return true;
}

OwnedSocket Listen(uint32_t addrNet, uint16_t port, std::string* err) {
    OwnedSocket s(socket(AF_INET, SOCK_STREAM, 0));
    if (!s.Valid()) {
        *err = "cannot create socket";
        return OwnedSocket();
    }
#ifndef _WIN32
    // Lets a restarted server take its port back at once; on Windows the
    // same option would let another program steal the port, so not there.
    int on = 1;
    setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = addrNet;
    if (bind(s.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        *err = "cannot bind (address in use or not available)";
        return OwnedSocket();
    }
    if (listen(s.Get(), 64) != 0) {
        *err = "cannot listen";
        return OwnedSocket();
    }
    SetNonBlocking(s.Get());
    return s;
}

uint16_t BoundPort(Socket s) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

OwnedSocket Accept(Socket listener, std::string* peer) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    OwnedSocket s(accept(listener, reinterpret_cast<sockaddr*>(&sa), &len));
    if (!s.Valid()) return s;
    SetNonBlocking(s.Get());
    uint32_t a = ntohl(sa.sin_addr.s_addr);
    char text[32];
    snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (a >> 24) & 255u, (a >> 16) & 255u,
             (a >> 8) & 255u, a & 255u, static_cast<unsigned>(ntohs(sa.sin_port)));
    *peer = text;
    return s;
}

int WaitReadable(Socket s, int timeoutMs) { return WaitOne(s, 0, timeoutMs); }
int WaitWritable(Socket s, int timeoutMs) { return WaitOne(s, 1, timeoutMs); }

int RecvSome(Socket s, void* buf, size_t len, int timeoutMs) {
    for (;;) {
        int w = WaitReadable(s, timeoutMs);
        if (w != 1) return w;
        int n = static_cast<int>(recv(s, static_cast<char*>(buf), static_cast<int>(len), 0));
        if (n > 0) return n;
        if (n == 0) return kClosed;
        if (!WouldBlock()) return kError;
        // Spurious readiness: wait again (the time-out restarts, which only
        // lengthens a wait that the peer keeps alive anyway).
    }
}

int SendSome(Socket s, const void* buf, size_t len, int timeoutMs) {
    for (;;) {
        int w = WaitWritable(s, timeoutMs);
        if (w != 1) return w;
        int n = static_cast<int>(
            send(s, static_cast<const char*>(buf), static_cast<int>(len), kSendFlags));
        if (n > 0) return n;
        if (n < 0 && !WouldBlock()) return kError;
    }
}

int SendAll(Socket s, const void* buf, size_t len, int timeoutMs) {
    const char* p = static_cast<const char*>(buf);
    size_t left = len;
    while (left > 0) {
        int n = SendSome(s, p, left, timeoutMs);
        if (n <= 0) return n == kClosed ? kError : n;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return static_cast<int>(len);
}

void ShutdownSend(Socket s) {
#ifdef _WIN32
    shutdown(s, SD_SEND);
#else
    shutdown(s, SHUT_WR);
#endif
}

void SetAbortiveClose(Socket s) {
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

bool RenameReplace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace qsock
