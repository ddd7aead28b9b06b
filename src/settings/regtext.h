// Reading registry text values safely: the registry keeps whatever bytes and
// type a writer gave, so a value may lack its terminator or not be text at all.
#pragma once

#include <windows.h>

namespace qdx {

// Reads the value `name` of an open key into out (capacity cap bytes,
// terminator included). Succeeds only for REG_SZ and REG_EXPAND_SZ (not
// expanded) whose text fits with its terminator; the terminator is added when
// the stored bytes lack one (DecodeRegistryText of core/registrytext.h). A
// stored value larger than cap does not fit either. On failure out is left
// exactly as it was.
bool ReadRegistryText(HKEY key, const char* name, char* out, DWORD cap) noexcept;

template <DWORD N>
inline bool ReadRegistryText(HKEY key, const char* name, char (&out)[N]) noexcept {
    return ReadRegistryText(key, name, out, N);
}

// Same, for a subkey of root opened for querying only and closed again.
bool ReadRegistryText(HKEY root, const char* subkey, const char* name, char* out, DWORD cap) noexcept;

}  // namespace qdx
