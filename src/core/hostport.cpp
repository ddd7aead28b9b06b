#include "core/hostport.h"

#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Cuts the blanks at both ends of text, in place.
void TrimBlanks(char* text) {
    std::size_t start = 0;
    while (IsBlank(text[start])) ++start;
    std::size_t end = std::strlen(text);
    while (end > start && IsBlank(text[end - 1])) --end;
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
}

}  // namespace

bool SplitHostPort(const char* szServer, char (&host)[qdx::kTextSize], unsigned short defaultPort,
                   unsigned short& port) {
    constexpr unsigned kHighestPort = 65535;
    constexpr int kMostDigits = 5;
    port = 0;
    qdx::CopyText(host, szServer);
    char* colon = std::strchr(host, ':');
    if (colon) *colon = '\0';
    const char* p = colon ? colon + 1 : nullptr;
    // Blanks around the host and around the port digits are typing, not meaning.
    TrimBlanks(host);
    if (host[0] == '[') return false;  // "[::1]:264": an IPv6 address
    if (!colon) {
        port = defaultPort;
        return true;
    }
    while (IsBlank(*p)) ++p;
    // 1 to 5 plain digits, then only blanks: no sign, no wrap-around, nothing else.
    unsigned value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (++digits > kMostDigits) return false;
        value = value * 10u + static_cast<unsigned>(*p - '0');
    }
    while (IsBlank(*p)) ++p;
    if (*p != '\0' || digits == 0 || value == 0 || value > kHighestPort) return false;
    port = static_cast<unsigned short>(value);
    return true;
}
