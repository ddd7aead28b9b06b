// The substitute recorder's reading of a client's requests, over any bytes a
// client could send: one whole session runs against them through a local
// socket pair, the client side closing after its bytes.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "session.h"
#include "sock.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qsock::Startup();
    // The session logs every line to standard output: not wanted here.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    // All of it is there before the session reads: a socket buffer holds far
    // more than an input; whatever does not fit is left out.
    ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(pair[0], data + sent, size - sent, 0);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(pair[0], SHUT_WR);

    qdxrec::Config config;
    config.closeAfter = 0;  // no level streaming: the requests are what is read
    config.readTimeoutMs = 100;
    qdxrec::Logger log;
    qdxrec::RunSession(config, log, qsock::OwnedSocket(pair[1]), 1, "fuzz");
    ::close(pair[0]);
    return 0;
}
