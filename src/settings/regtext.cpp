#include "settings/regtext.h"

#include "common/handles.h"
#include "core/registrytext.h"

namespace qdx {

static_assert(kRegistryText == REG_SZ && kRegistryExpandText == REG_EXPAND_SZ, "the registry's text types");

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
    if (size > cap) return false;
    return DecodeRegistryText(type, data, size, out, cap);
}

bool ReadRegistryText(HKEY root, const char* subkey, const char* name, char* out, DWORD cap) noexcept {
    UniqueRegKey key;
    if (::RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return false;
    return ReadRegistryText(key.Get(), name, out, cap);
}

}  // namespace qdx
