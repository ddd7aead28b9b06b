// The product's help as it ships: one WinHelp file and the same help as HTML
// pages, all beside the program, and the rule that picks which of the two a
// system shows. The names and the rule are plain data and logic, shared by
// the install (the help shortcut), the client (every help route) and the
// host packaging tool.
#pragma once

#include <cstdint>

constexpr char kHelpFileName[] = "qdxremote.hlp";

// One page per help topic, named by the help compiler from the topic's
// context string; the contents page is the help's start.
constexpr char kHelpContentsPage[] = "qdxremote.html";
constexpr char kHelpUsersGuidePage[] = "qdxremote-users-guide.html";
constexpr char kHelpInstallationPage[] = "qdxremote-installation.html";
constexpr char kHelpNetworkAdminPage[] = "qdxremote-network-admin.html";
constexpr char kHelpSettingsPage[] = "qdxremote-settings.html";
constexpr char kHelpLicencePage[] = "qdxremote-licence.html";

// The help's context numbers and the page of each (the WinHelp file maps the
// same numbers to the same topics).
struct HelpContextPage {
    std::uint32_t context;
    const char* page;
};
constexpr HelpContextPage kHelpContextPages[] = {
    {110, kHelpSettingsPage},  // the settings dialog's Help button
};

// The page of a context number; the contents page for a number the help does
// not map, so that a help request always leads somewhere.
const char* HelpPageForContext(std::uint32_t context);

enum class HelpReader {
    kWinHelp,  // the system's WinHelp reader, on the .hlp file
    kBrowser,  // the user's default browser, on the HTML page
};

// The texts of the "Settings" value that forces a reader; absent, empty or
// any other text lets the system decide. Compared without regard to case.
constexpr char kHelpReaderWinHelp[] = "WinHelp";
constexpr char kHelpReaderBrowser[] = "Browser";

// What the rule needs to know of a system (gathered by ProbeHelpSystem).
struct HelpSystem {
    bool wine = false;                  // Wine, whatever version it reports
    unsigned long majorVersion = 0;     // of Windows, as reported
    bool readerInstalled = false;       // winhlp32.exe in the Windows or system folder
    bool searchLibraryInstalled = false;  // ftsrch.dll in the system folder
};

// Whether the system's WinHelp reader shows .hlp files; the rule and the
// facts behind it are written beside its definition.
bool WinHelpReaderWorks(const HelpSystem& system);
// The reader to use: the setting's when it names one, else the WinHelp reader
// where it works and the browser everywhere else.
HelpReader ChooseHelpReader(const char* setting, bool winHelpWorks);
