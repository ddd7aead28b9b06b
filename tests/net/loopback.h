// Loopback peers for the socket and worker tests: listeners, a free port on
// which nothing listens, and a listener that never answers.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <vector>

namespace loopback {

inline DWORD Since(DWORD start) { return GetTickCount() - start; }

// Windows Sockets for the test's own peers, apart from LIPSocket's start-ups.
struct WinsockUser {
    WinsockUser() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
    ~WinsockUser() { WSACleanup(); }
};

struct Socket {
    SOCKET s = INVALID_SOCKET;
    Socket() = default;
    explicit Socket(SOCKET h) : s(h) {}
    ~Socket() { Close(); }
    void Close() {
        if (s != INVALID_SOCKET) closesocket(s);
        s = INVALID_SOCKET;
    }
};

// A loopback listener on a free port.
struct Listener {
    Socket sock;
    unsigned short port = 0;
    explicit Listener(int backlog = 4) {
        sock.s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(sock.s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(sock.s, backlog);
        int len = sizeof a;
        getsockname(sock.s, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    SOCKET Accept() { return accept(sock.s, nullptr, nullptr); }
};

// A port on which nothing listens: bound once, then let go.
inline unsigned short FreePort() {
    Listener l;
    return l.port;
}

// A listener whose queue is full and that never accepts: a further connect
// gets no answer, as with an unreachable host. Returns false when the stack
// kept accepting (then the test cannot emulate the case).
struct DeafListener {
    WinsockUser winsock;
    Listener listener{0};
    std::vector<SOCKET> fillers;
    bool Fill() {
        for (int i = 0; i < 64; ++i) {
            SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
            u_long on = 1;
            ioctlsocket(s, FIONBIO, &on);
            sockaddr_in a = {};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(listener.port);
            connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers.push_back(s);
            fd_set w, e;
            FD_ZERO(&w);
            FD_ZERO(&e);
            FD_SET(s, &w);
            FD_SET(s, &e);
            timeval t = {0, 300000};
            if (select(0, nullptr, &w, &e, &t) == 0) return true;  // this one hangs: the queue is full
        }
        return false;
    }
    ~DeafListener() {
        for (SOCKET s : fillers) closesocket(s);
    }
};


}  // namespace loopback
