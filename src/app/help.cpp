// Help contents and the maker's web pages, both opened in other programs that
// the client keeps no hold on.
#include "app/help.h"

#include <shellapi.h>

#include "app/maindialog.h"
#include "common/systemdll.h"
#include "core/helpfiles.h"
#include "core/lfile.h"
#include "core/text.h"
#include "setup/helpsystem.h"

namespace {

constexpr char kWebAddressFormat[] = "http://www.tallowind.example/%s.html";
constexpr std::size_t kWebAddressSize = 320;

// The shell's library is loaded when a page is first opened, not at every start.
HINSTANCE OpenInShell(HWND owner, const char* file) {
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    const auto execute = qdx::SystemFunction<ShellExecuteFn>("shell32.dll", "ShellExecuteA");
    return execute ? execute(owner, nullptr, file, nullptr, nullptr, SW_SHOWNORMAL) : nullptr;
}

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

// The full path of a help page beside the program; false, and so nothing
// opened, when the path does not fit or the page is not there.
bool HelpPagePath(const char* page, char (&path)[qdx::kTextSize]) {
    char program[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, program, sizeof program);
    if (n == 0 || n >= sizeof program) return false;
    LFile::_GetFolderFromPath(path, program);
    if (!path[0] || lstrlenA(path) + 1 + lstrlenA(page) >= static_cast<int>(sizeof path)) return false;
    LFile::FilePathCat(path, page);
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// command: HELP_CONTENTS, or HELP_CONTEXT with a context number.
bool ShowHelp(HWND owner, UINT command, DWORD context) {
    if (HelpReaderInUse() == HelpReader::kWinHelp)
        // The help file is named bare: the process entry made the program's
        // folder the current directory.
        return ::WinHelpA(owner, kHelpFileName, command, context) != FALSE;
    const char* page = command == HELP_CONTEXT ? HelpPageForContext(context) : kHelpContentsPage;
    char path[qdx::kTextSize];
    if (!HelpPagePath(page, path)) return false;
    // The page's own type decides the program: the user's default browser.
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(OpenInShell(owner, path));
    return result > 32;
}

}  // namespace

bool ShowHelpContents(HWND owner) {
    return ShowHelp(owner, HELP_CONTENTS, 0);
}

bool DisplayHelpContents(HWND owner, DWORD context) {
    return ShowHelp(owner, HELP_CONTEXT, context);
}

void MainDialog::CmHelp() {
    ShowHelpContents(hwnd);
}

bool MainDialog::OpenWebPage(const char* pageKey) {
    if (!IsPageKey(pageKey)) return false;
    char address[kWebAddressSize];
    // A cut address would be some other page (or none): refuse it instead.
    if (qdx::FormatText(address, sizeof address, kWebAddressFormat, pageKey) < 0) return false;
    // What the shell makes of it (no browser, no network) is its own to report.
    OpenInShell(nullptr, address);
    return true;
}
