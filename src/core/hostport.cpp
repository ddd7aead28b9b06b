#include "core/hostport.h"

#include <cstring>

bool SplitHostPort(const char* szServer, char (&host)[qdx::kTextSize], unsigned short defaultPort,
                   unsigned short& port) {
    constexpr unsigned kHighestPort = 65535;
    port = 0;
    qdx::CopyText(host, szServer);
    if (host[0] == '[') return false;  // "[::1]:264": an IPv6 address
    char* colon = std::strchr(host, ':');
    if (!colon) {
        port = defaultPort;
        return true;
    }
    *colon = '\0';
    // Digits only: no blanks, no sign, nothing after them, and no wrap-around.
    const char* p = colon + 1;
    if (*p == '\0') return false;
    unsigned value = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10u + static_cast<unsigned>(*p - '0');
        if (value > kHighestPort) return false;
    }
    if (value == 0) return false;
    port = static_cast<unsigned short>(value);
    return true;
}
