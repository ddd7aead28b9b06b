// The server text split into host and port, over any text: the host stays in
// its buffer, and an accepted text gives the host before the ':' without the
// blanks around it, and the port 1 to 65535 written after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/hostport.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string server(reinterpret_cast<const char*>(data), size);
    char host[qdx::kTextSize + 1];
    host[qdx::kTextSize] = 'G';
    unsigned short port = 1;
    const bool accepted = SplitHostPort(server.c_str(), *reinterpret_cast<char(*)[qdx::kTextSize]>(host), 264, port);
    Check(host[qdx::kTextSize] == 'G');
    const std::size_t length = ::strnlen(host, qdx::kTextSize);
    Check(length < qdx::kTextSize);
    Check(accepted == (port != 0));
    if (!accepted) return 0;
    Check(std::strchr(host, ':') == nullptr);
    const std::string seen = server.substr(0, std::strlen(server.c_str())).substr(0, qdx::kTextSize - 1);
    const std::size_t colon = seen.find(':');
    std::string named = seen.substr(0, colon);
    const std::size_t first = named.find_first_not_of(" \t");
    named = first == std::string::npos ? "" : named.substr(first, named.find_last_not_of(" \t") - first + 1);
    Check(named == host);
    if (colon == std::string::npos) {
        Check(port == 264);
    } else {
        Check(std::strtoul(seen.c_str() + colon + 1, nullptr, 10) == port);
    }
    return 0;
}
