#include "core/helpfiles.h"

namespace {

// ASCII letters compared without regard to case; the setting is typed by people.
bool SameText(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
        if (!x) return true;
    }
}

}  // namespace

const char* HelpPageForContext(std::uint32_t context) {
    for (const HelpContextPage& entry : kHelpContextPages)
        if (entry.context == context) return entry.page;
    return kHelpContentsPage;
}

// Which systems have a WinHelp reader that works:
// - Windows before Vista (major version 5 and below) ship the reader,
//   winhlp32.exe in the Windows folder, and it works.
// - Windows Vista and later (6.0 and up: Vista, 7, 8, 8.1, 10, 11) ship in its
//   place a stub of the same name. Started by WinHelp, it only tells the user
//   that the help format is not supported and points at article KB917607. For
//   Vista, 7, 8 and 8.1 that article offers a download that replaces the stub
//   with a working reader; for 10 and 11 (and Server 2012 and later) it offers
//   none, and a reader works there only when someone copied it over by hand
//   from that download.
// - The stub is told apart from a working reader by what comes with the
//   reader: its full-text search library ftsrch.dll, which the download places
//   in the system folder together with the reader (its package holds
//   winhlp32.exe, ftsrch.dll and two word-breaker libraries) and which the
//   stub does without. So from Vista on the reader counts as working when
//   winhlp32.exe and ftsrch.dll are both there.
// - Wine ships a working reader of its own (winhlp32.exe, which the prefixes
//   used here keep in the system folder only), with no ftsrch.dll, while it
//   reports a Windows version of 6.1 or later; the tests here show that reader
//   opening the help's contents and context 110. Wine is told apart by the
//   function wine_get_version that its ntdll exports.
// Not verified on a real Windows here: that the download places ftsrch.dll in
// the system folder on each version it is offered for (known from the
// package's file list and the published steps to install it by hand, which
// copy it there), and that no stub comes with that library.
bool WinHelpReaderWorks(const HelpSystem& system) {
    if (!system.readerInstalled) return false;
    if (system.wine) return true;
    if (system.majorVersion != 0 && system.majorVersion < 6) return true;  // 0: not known
    return system.searchLibraryInstalled;
}

HelpReader ChooseHelpReader(const char* setting, bool winHelpWorks) {
    if (setting && SameText(setting, kHelpReaderWinHelp)) return HelpReader::kWinHelp;
    if (setting && SameText(setting, kHelpReaderBrowser)) return HelpReader::kBrowser;
    return winHelpWorks ? HelpReader::kWinHelp : HelpReader::kBrowser;
}
