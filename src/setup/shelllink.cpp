// Shortcut files through the shell's link object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "setup/comscope.h"
#include "setup/folders.h"

namespace {

// The three identifiers the shortcut code needs, defined here so the program
// does not link the import library that defines every identifier of the system.
constexpr CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

void CreateShellLink(const char* shortcutPath, const char* target) {
    if (!shortcutPath || !target) return;
    WCHAR widePath[qdx::kTextSize];
    // The whole path with its terminator; a path that does not convert is not
    // saved rather than saved under a cut name.
    if (::MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, widePath, qdx::kTextSize) == 0) return;

    qdx::ComScope com;
    qdx::ComPtr<IShellLinkA> link;
    if (FAILED(com.CreateInstance(kClsidShellLink, CLSCTX_INPROC_SERVER, kIidShellLinkA, link.PutVoid())))
        return;
    link->SetPath(target);
    qdx::ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(kIidPersistFile, file.PutVoid()))) file->Save(widePath, TRUE);
}
