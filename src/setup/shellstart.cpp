#include "setup/shellstart.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

#include "common/systemdll.h"
#include "core/text.h"
#include "setup/comscope.h"

namespace {

using SysAllocStringFn = BSTR(WINAPI*)(const OLECHAR*);
using SysFreeStringFn = void(WINAPI*)(BSTR);

// The identifiers of the way to the desktop shell's own ShellExecute, defined
// here so the program does not link the import library that defines every
// identifier of the system.
constexpr CLSID kClsidShellWindows = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
constexpr IID kIidShellWindows = {0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidServiceProvider = {0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
constexpr GUID kSidTopLevelBrowser = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr IID kIidShellBrowser = {0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellFolderViewDual = {0xE7A1AF80, 0x4D96, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidShellDispatch2 = {0xA4C6892C, 0x3BA9, 0x11D2, {0x9D, 0xEA, 0x00, 0xC0, 0x4F, 0xB1, 0x61, 0x62}};

}  // namespace

// The desktop's folder view belongs to the shell process that runs the
// signed-in user's desktop, at the user's ordinary rights; its ShellExecute
// starts the program from there.
bool StartThroughDesktopShell(const char* path) {
    WCHAR widePath[qdx::kTextSize];
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, qdx::kTextSize) == 0) return false;
    qdx::ComScope com;
    qdx::ComPtr<IShellWindows> windows;
    if (FAILED(com.CreateInstance(kClsidShellWindows, CLSCTX_LOCAL_SERVER, kIidShellWindows, windows.PutVoid())))
        return false;
    VARIANT location = {}, root = {};  // VT_EMPTY: the desktop
    long desktopWindow = 0;
    qdx::ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                              desktop.Put()) != S_OK ||
        !desktop.Get())
        return false;
    qdx::ComPtr<IServiceProvider> services;
    qdx::ComPtr<IShellBrowser> browser;
    qdx::ComPtr<IShellView> view;
    qdx::ComPtr<IDispatch> background;
    qdx::ComPtr<IShellFolderViewDual> folderView;
    qdx::ComPtr<IDispatch> application;
    qdx::ComPtr<IShellDispatch2> shell;
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
