// Registry text decoding over any stored type, bytes and capacity: a decoded
// text is the stored bytes up to their first zero and fits with its
// terminator; a refusal leaves the output as it was; nothing is written past
// the capacity.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/registrytext.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint32_t type = data[0] % 8;  // REG_NONE .. REG_MULTI_SZ
    const std::size_t cap = (data[1] | data[2] << 8) % 1025;
    const char* bytes = reinterpret_cast<const char*>(data + 3);
    const std::size_t n = size - 3;

    char out[1024 + 16];
    std::memset(out, 'G', sizeof out);
    const bool decoded = qdx::DecodeRegistryText(type, bytes, n, out, cap);
    for (std::size_t i = cap; i < sizeof out; ++i) Check(out[i] == 'G');
    if (!decoded) {
        for (std::size_t i = 0; i < cap; ++i) Check(out[i] == 'G');
        return 0;
    }
    Check(type == qdx::kRegistryText || type == qdx::kRegistryExpandText);
    const std::size_t length = ::strnlen(bytes, n);
    Check(length < cap && std::memcmp(out, bytes, length) == 0 && out[length] == '\0');
    return 0;
}
