// Functions of system DLLs that only some runs need, found at their first use
// so that the DLLs (and the libraries they load in turn) stay out of every
// start.
//
// Where planted DLLs (a DLL saved under a system DLL's name beside the setup,
// in a download folder, or in the current folder) are kept out, in the order a
// start meets them:
//   app/loadconfig.cpp  the load configuration's DependentLoadFlags: the DLLs
//                       the import table names, and theirs, come from the
//                       system folder, before the program's first instruction;
//   app/main.cpp        RestrictDllSearch, the first call: every later load by
//                       bare name searches the system folder only;
//   here                LoadSystemDll: the DLLs loaded at first use are named
//                       for the system folder as well.
// tests/setup (planted_dll) plants such DLLs beside the setup.
#pragma once

#include <windows.h>

namespace qdx {

// LOAD_LIBRARY_SEARCH_SYSTEM32: the system folder and nothing else (Windows 8,
// or Windows 7 with its update).
constexpr DWORD kSearchSystem32 = 0x00000800;

// The DLL named from the system folder and nowhere else. Where the loader
// does not know the search flag (Windows 7 without its update), the DLL is
// named by its whole path in the system folder instead.
inline HMODULE LoadSystemDll(const char* dll) noexcept {
    if (const HMODULE module = ::LoadLibraryExA(dll, nullptr, kSearchSystem32)) return module;
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    char path[MAX_PATH];
    const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n + 1 + ::lstrlenA(dll) >= MAX_PATH) return nullptr;
    path[n] = '\\';
    ::lstrcpyA(path + n + 1, dll);
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A function of a DLL the process has loaded already (kernel32, user32), or
// null where this Windows does not have it.
template <typename Function>
Function LoadedFunction(const char* dll, const char* name) noexcept {
    const HMODULE module = ::GetModuleHandleA(dll);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)))
                  : nullptr;
}

// A function of a system DLL, or null. The DLL stays loaded for the rest of
// the process: callers keep what they get in a static.
template <typename Function>
Function SystemFunction(const char* dll, const char* name) noexcept {
    const HMODULE module = LoadSystemDll(dll);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)))
                  : nullptr;
}

}  // namespace qdx
