#include "setup/packageowner.h"

#include <windows.h>

#include "common/systemdll.h"
#include "core/package.h"
#include "core/product.h"

bool InstallerPackageOwnsInstall() {
    // msi.dll is loaded only by a setup run.
    using EnumRelated = UINT(WINAPI*)(LPCSTR, DWORD, DWORD, LPSTR);
    const auto enumRelated = qdx::SystemFunction<EnumRelated>("msi.dll", "MsiEnumRelatedProductsA");
    if (!enumRelated) return false;
    char productCode[39];
    return enumRelated(kPackageUpgradeCode, 0, 0, productCode) == ERROR_SUCCESS;
}

bool SetupRefusedForPackageInstall() {
    if (!InstallerPackageOwnsInstall()) return false;
    ::MessageBoxA(nullptr, kPackageOwnsInstallText, kInstallErrorCaption, MB_ICONWARNING);
    return true;
}
