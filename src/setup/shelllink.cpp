// Shortcut files through the shell's link object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "setup/folders.h"

namespace {

// The three identifiers the shortcut code needs, defined here so the program
// does not link the import library that defines every identifier of the system.
constexpr CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Releases a COM interface at the end of a scope.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// CoInitialize for the scope; CoUninitialize only when the call succeeded
// (S_FALSE included), so a thread already in another apartment keeps its own.
class ComScope {
public:
    ComScope() noexcept : hr_(::CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

}  // namespace

void CreateShellLink(const char* shortcutPath, const char* target) {
    if (!shortcutPath || !target) return;
    WCHAR widePath[qdx::kTextSize];
    // The whole path with its terminator; a path that does not convert is not
    // saved rather than saved under a cut name.
    if (::MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, widePath, qdx::kTextSize) == 0) return;

    ComScope com;
    ComPtr<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA, link.PutVoid())))
        return;
    link->SetPath(target);
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(kIidPersistFile, file.PutVoid()))) file->Save(widePath, TRUE);
}
