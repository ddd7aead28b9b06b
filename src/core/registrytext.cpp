#include "core/registrytext.h"

#include <cstring>

namespace qdx {

bool DecodeRegistryText(std::uint32_t type, const char* data, std::size_t size, char* out, std::size_t cap) noexcept {
    if (type != kRegistryText && type != kRegistryExpandText) return false;
    // A value that fills the whole buffer without a zero does not fit.
    const std::size_t length = size ? ::strnlen(data, size) : 0;
    if (length >= cap) return false;
    if (length) std::memcpy(out, data, length);
    out[length] = '\0';
    return true;
}

}  // namespace qdx
