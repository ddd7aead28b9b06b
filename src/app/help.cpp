// Help contents and the maker's web pages, both opened in other programs that
// the client keeps no hold on.
#include <windows.h>
#include <shellapi.h>

#include "app/maindialog.h"
#include "core/text.h"

namespace {

constexpr char kWebAddressFormat[] = "http://www.tallowind.example/%s.html";
constexpr std::size_t kWebAddressSize = 320;

// Page keys are path pieces of the maker's site: letters, digits, '-', '_',
// '.' and '/', without "..". Anything else (a quote, a blank, '@', '?', '#',
// '\', ':') could make the browser's command line or the address mean more
// than one page of that host.
bool IsPageKey(const char* key) {
    if (!key || !*key) return false;
    for (const char* c = key; *c; ++c) {
        const char ch = *c;
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                           ch == '-' || ch == '_' || ch == '/' || (ch == '.' && c[1] != '.');
        if (!plain) return false;
    }
    return true;
}

}  // namespace

void MainDialog::CmHelp() {
    ::WinHelpA(hwnd, kHelpFileName, HELP_CONTENTS, 0);
}

bool MainDialog::OpenWebPage(const char* pageKey) {
    if (!IsPageKey(pageKey)) return false;
    char address[kWebAddressSize];
    // A cut address would be some other page (or none): refuse it instead.
    if (qdx::FormatText(address, sizeof address, kWebAddressFormat, pageKey) < 0) return false;
    // What the shell makes of it (no browser, no network) is its own to report.
    ::ShellExecuteA(nullptr, nullptr, address, nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}
