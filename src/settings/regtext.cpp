#include "settings/regtext.h"

#include <cstring>

#include "common/handles.h"
#include "common/text.h"

namespace qdx {

bool ReadRegistryText(HKEY key, const char* name, char* out, DWORD cap) noexcept {
    if (!key || !out || cap == 0) return false;
    // Read into a scratch buffer of the same capacity so that a failed or
    // oversized read never leaves half a value in out.
    char data[1024];
    if (cap > sizeof data) cap = sizeof data;
    DWORD type = REG_NONE;
    DWORD size = cap;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return false;  // missing, unreadable, or larger than cap (ERROR_MORE_DATA)
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    if (size > cap) return false;
    // The stored bytes end at the first zero; without one the text ends at the
    // stored size, and a value that fills the whole buffer without a zero does
    // not fit.
    std::size_t length = ::strnlen(data, size);
    if (length >= cap) return false;
    data[length] = '\0';
    std::memcpy(out, data, length + 1);
    return true;
}

bool ReadRegistryText(HKEY root, const char* subkey, const char* name, char* out, DWORD cap) noexcept {
    UniqueRegKey key;
    if (::RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return false;
    return ReadRegistryText(key.Get(), name, out, cap);
}

}  // namespace qdx
