// Shortcut files through the shell's link object.
#include <windows.h>
#include <objidl.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

#include "common/systemdll.h"
#include "setup/folders.h"

namespace {

// The component libraries are loaded by the install that makes shortcuts or
// starts the program through the shell, not at every start of the program.
using CoInitializeFn = HRESULT(WINAPI*)(void*);
using CoUninitializeFn = void(WINAPI*)();
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
using SysAllocStringFn = BSTR(WINAPI*)(const OLECHAR*);
using SysFreeStringFn = void(WINAPI*)(BSTR);

// The three identifiers the shortcut code needs, defined here so the program
// does not link the import library that defines every identifier of the system.
constexpr CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// And those of the way to the desktop shell's own ShellExecute.
constexpr CLSID kClsidShellWindows = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
constexpr IID kIidShellWindows = {0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidServiceProvider = {0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
constexpr GUID kSidTopLevelBrowser = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr IID kIidShellBrowser = {0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellFolderViewDual = {0xE7A1AF80, 0x4D96, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidShellDispatch2 = {0xA4C6892C, 0x3BA9, 0x11D2, {0x9D, 0xEA, 0x00, 0xC0, 0x4F, 0xB1, 0x61, 0x62}};

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
    T** Put() noexcept { return &p_; }
    T* operator->() const noexcept { return p_; }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// CoInitialize for the scope; CoUninitialize only when the call succeeded
// (S_FALSE included), so a thread already in another apartment keeps its own.
// Without the library nothing can be created: CreateInstance fails.
class ComScope {
public:
    ComScope() noexcept
        : create_(qdx::SystemFunction<CoCreateInstanceFn>("ole32.dll", "CoCreateInstance")),
          uninitialize_(qdx::SystemFunction<CoUninitializeFn>("ole32.dll", "CoUninitialize")) {
        const auto initialize = qdx::SystemFunction<CoInitializeFn>("ole32.dll", "CoInitialize");
        hr_ = initialize && create_ && uninitialize_ ? initialize(nullptr) : E_FAIL;
    }
    ~ComScope() {
        if (SUCCEEDED(hr_)) uninitialize_();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    HRESULT CreateInstance(REFCLSID clsid, DWORD context, REFIID iid, void** out) const noexcept {
        return create_ ? create_(clsid, nullptr, context, iid, out) : E_FAIL;
    }

private:
    CoCreateInstanceFn create_;
    CoUninitializeFn uninitialize_;
    HRESULT hr_ = E_FAIL;
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
    if (FAILED(com.CreateInstance(kClsidShellLink, CLSCTX_INPROC_SERVER, kIidShellLinkA, link.PutVoid())))
        return;
    link->SetPath(target);
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(kIidPersistFile, file.PutVoid()))) file->Save(widePath, TRUE);
}

// The desktop's folder view belongs to the shell process that runs the
// signed-in user's desktop, at the user's ordinary rights; its ShellExecute
// starts the program from there.
bool StartThroughDesktopShell(const char* path) {
    WCHAR widePath[qdx::kTextSize];
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, qdx::kTextSize) == 0) return false;
    ComScope com;
    ComPtr<IShellWindows> windows;
    if (FAILED(com.CreateInstance(kClsidShellWindows, CLSCTX_LOCAL_SERVER, kIidShellWindows, windows.PutVoid())))
        return false;
    VARIANT location = {}, root = {};  // VT_EMPTY: the desktop
    long desktopWindow = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                              desktop.Put()) != S_OK ||
        !desktop.Get())
        return false;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(desktop->QueryInterface(kIidServiceProvider, services.PutVoid())) ||
        FAILED(services->QueryService(kSidTopLevelBrowser, kIidShellBrowser, browser.PutVoid())) ||
        FAILED(browser->QueryActiveShellView(view.Put())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, kIidDispatch, background.PutVoid())) ||
        FAILED(background->QueryInterface(kIidShellFolderViewDual, folderView.PutVoid())) ||
        FAILED(folderView->get_Application(application.Put())) ||
        FAILED(application->QueryInterface(kIidShellDispatch2, shell.PutVoid())))
        return false;
    const auto allocString = qdx::SystemFunction<SysAllocStringFn>("oleaut32.dll", "SysAllocString");
    const auto freeString = qdx::SystemFunction<SysFreeStringFn>("oleaut32.dll", "SysFreeString");
    const BSTR file = allocString && freeString ? allocString(widePath) : nullptr;
    if (!file) return false;
    VARIANT none = {};  // VT_EMPTY: no arguments, folder or verb
    VARIANT show = {};
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    const HRESULT hr = shell->ShellExecute(file, none, none, none, show);
    freeString(file);
    return SUCCEEDED(hr);
}
