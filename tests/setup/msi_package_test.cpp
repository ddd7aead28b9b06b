// The Windows Installer package (qdxremote.msi of this tree) installed,
// upgraded, refused and removed unattended by Wine's msiexec, as a management
// tool would run it, and the installed client driven against the substitute
// recorder the package's SERVER names. The tests run in order and build on
// each other: install with every preset, bad presets, repair, an upgrade
// from a lower version (tests/qdxremote-0.9.msi, built with the tree), the
// lower version refused, the close request a running client gets, removal,
// the setup package and this package over each other's installs, and the
// signed package of the signing fixture.
#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client_driver.h"
#include "core/package.h"
#include "files.h"
#include "process_start.h"
#include "registry.h"
#include "res/resource.h"
#include "setup/folders.h"
#include "setup/packageowner.h"

using qdxtest::Bytes;
using qdxtest::FileExists;
using qdxtest::FolderExists;
using qdxtest::FullPath;
using qdxtest::ReadBytes;
using qdxtest::RegText;

namespace {

const char kSettingsKey[] = "Software\\Tallowind\\QDXRemote\\Settings";
const char kFoldersKey[] = "Software\\Tallowind\\QDXRemote\\Folders";
const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kSetupEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QDXRemote";
constexpr long kInstallFailure = 1603;  // ERROR_INSTALL_FAILURE

// The settings the package presets, as stored now.
std::map<std::string, std::string> Settings() {
    std::map<std::string, std::string> values;
    for (const char* name : {"Server", "RecordChannel", "UserName", "Password", "PromptForData", "UseHotKeys", "Prompt"})
        values[name] = RegText(kSettingsKey, name);
    return values;
}

// The subkeys of the uninstall list whose DisplayName is the product's.
std::vector<std::string> ProductEntries() {
    std::vector<std::string> found;
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ, &root) != ERROR_SUCCESS) return found;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(root, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        const std::string key = std::string(kUninstallRoot) + "\\" + name;
        if (RegText(key.c_str(), "DisplayName").rfind("QDX Remote Control", 0) == 0) found.push_back(key);
    }
    RegCloseKey(root);
    return found;
}

// A folder's access list in the system's text form, empty when unreadable.
std::string FolderAccess(const std::string& folder) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return "";
    char* text = nullptr;
    std::string result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                             nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(sd);
    return result;
}

// The rights an allowing entry for Everyone gives, 0 when there is none.
unsigned long EveryoneRights(const std::string& folder) {
    const std::string access = FolderAccess(folder);
    const std::size_t end = access.find(";;;WD)");
    const std::size_t start = end == std::string::npos ? end : access.rfind(";0x", end);
    return start == std::string::npos ? 0 : std::strtoul(access.c_str() + start + 1, nullptr, 16);
}

// A log file of msiexec as text (its UTF-16 or ANSI bytes, the zeros dropped).
std::string LogText(const std::string& path) {
    std::string text;
    for (char c : qdxtest::ReadWholeFile(path))
        if (c) text += c;
    return text;
}

struct Paths {
    std::string package, lower, signedPackage, setup;
    std::string installFolder, program, help, logs, uninstaller;
    std::string desktopLink, group, programLink, helpLink;
};

// Everything the suite changes, put back when it ends.
struct World {
    qdxtest::TempFolder root{"msipackage"};
    qdxtest::ProductKeyGuard product;
    qdxtest::RegKeySnapshot setupEntry{HKEY_LOCAL_MACHINE, kSetupEntryKey};
    qdxtest::RegValueGuard helpReader{HKEY_LOCAL_MACHINE, kSettingsKey, "HelpReader"};
    Paths p;
    qdxtest::Processes processes;
    DWORD lastStarted = 0;
};

std::unique_ptr<World> world;
int runs = 0;

class MsiPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        world = std::make_unique<World>();
        Paths& p = world->p;
        p.package = FullPath(".\\qdxremote.msi");
        p.lower = FullPath(".\\tests\\qdxremote-0.9.msi");
        p.signedPackage = FullPath(".\\signing\\signed\\qdxremote.msi");
        p.setup = FullPath(".\\qdxsetup.exe");
        char folder[MAX_PATH];
        DWORD size = sizeof folder;
        // The package installs below the Program Files of its width, which is this test's.
        RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                     RRF_RT_REG_SZ, nullptr, folder, &size);
        p.installFolder = std::string(folder) + "\\Tallowind\\QDXRemote";
        p.program = p.installFolder + "\\qdxremote.exe";
        p.help = p.installFolder + "\\qdxremote.hlp";
        p.logs = p.installFolder + "\\Logs";
        p.uninstaller = p.installFolder + "\\uninst.exe";
        char path[qdx::kTextSize];
        GetDesktopShortcutPath(path);
        p.desktopLink = path;
        if (GetStartMenuGroupFolder(path)) p.group = path;
        p.programLink = p.group + "\\QDX Remote Control.lnk";
        p.helpLink = p.group + "\\QDX Remote Control Help.lnk";
        world->helpReader.Remove();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote");
    }
    static void TearDownTestSuite() {
        Msiexec("/x", P().package);  // whatever a failed test left installed
        qdxtest::TempFolder::RemoveTree(P().installFolder);
        world.reset();
        CoUninitialize();
    }
    void SetUp() override {
        ASSERT_TRUE(FileExists(P().package)) << P().package;
        ASSERT_EQ(client::CountMainWindows(), 0) << "a client is running already";
    }

    static const Paths& P() { return world->p; }

    // Runs msiexec unattended (action /i or /x) with a verbose log, as a
    // deployment tool does; its exit code, -1 when it did not start or end.
    static long Msiexec(const char* action, const std::string& package, const std::string& properties = "",
                        std::string* log = nullptr) {
        const std::string logPath = world->root / ("msiexec" + std::to_string(++runs) + ".log");
        std::string command = std::string("msiexec.exe ") + action + " \"" + package + "\" /qn /l*v \"" + logPath +
                              "\"" + (properties.empty() ? "" : " " + properties);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!qdxtest::StartProcess(nullptr, &command[0], FALSE, 0, nullptr, &si, &pi)) return -1;
        CloseHandle(pi.hThread);
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(pi.hProcess, 180000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        if (log) *log = LogText(logPath);
        std::printf("msiexec %s %s %s -> %ld\n", action, package.substr(package.rfind('\\') + 1).c_str(),
                    properties.c_str(), static_cast<long>(code));
        return static_cast<long>(code);
    }

    static DWORD Start(const std::string& path) { return world->lastStarted = world->processes.Start(path); }
    // Whether the process started last has ended within the time.
    static bool LastEnded(DWORD timeoutMs) {
        return world->processes.WaitForExit(world->lastStarted, timeoutMs) != -1;
    }

    static HWND WaitForMainWindow(DWORD pid) {
        HWND main = nullptr;
        qdxtest::WaitUntil([&] { return (main = client::FindMainWindow(pid)) != nullptr && IsWindowVisible(main); },
                           30000);
        return main;
    }

    static bool Recording(HWND main) {
        return client::Checked(main, IDC_MAIN_RECORD) && IsWindowEnabled(GetDlgItem(main, IDC_MAIN_LEVEL));
    }

    // The package's program as installed: the build's program with NO_MARKER behind it.
    static Bytes BuiltProgram() {
        Bytes program = ReadBytes(FullPath(".\\qdxremote.exe"));
        program.insert(program.end(), 4, 0);
        return program;
    }
};

TEST_F(MsiPackage, UnattendedInstallWithEveryPresetRecordsAsPreset) {
    RecorderProcess recorder({"--user", "agent7", "--password", "#s3cret [pw]", "--level-ms", "50"});
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    ASSERT_EQ(Msiexec("/i", P().package,
                      "SERVER=" + recorder.Address() +
                          " CHANNEL=5 USERNAME=agent7 PASSWORD=\"#s3cret [pw]\" PROMPTFORDATA=0 USEHOTKEYS=0"
                          " PROMPT=\"Case number\""),
              0);

    // The files, byte for byte, as the setup package installs them.
    EXPECT_TRUE(ReadBytes(P().program) == BuiltProgram());
    for (const SetupFileEntry* row = SetupFileTable + 1; row->fileName; ++row) {
        const Bytes built = ReadBytes(FullPath(row->fileName));
        EXPECT_FALSE(built.empty()) << row->fileName;
        EXPECT_TRUE(ReadBytes(P().installFolder + "\\" + row->fileName) == built) << row->fileName;
    }
    EXPECT_TRUE(FolderExists(P().logs));
    // Every user may write logs there (generic read, write and execute), as
    // the setup makes the folder; the install folder keeps what it inherits.
    // (Wine keeps file access as owner, group and other bits, so it reads
    // back more than was given: what counts is that Everyone may write.)
    std::printf("Logs: %s\ninstall folder: %s\n", FolderAccess(P().logs).c_str(),
                FolderAccess(P().installFolder).c_str());
    constexpr unsigned long kReadWriteExecute = 0x1201bf;  // FILE_GENERIC_READ | _WRITE | _EXECUTE
    EXPECT_EQ(EveryoneRights(P().logs) & kReadWriteExecute, kReadWriteExecute);
    EXPECT_EQ(EveryoneRights(P().installFolder) & FILE_WRITE_DATA, 0ul);
    const std::map<std::string, std::string> preset = {
        {"Server", recorder.Address()}, {"RecordChannel", "4"}, {"UserName", "agent7"}, {"Password", "#s3cret [pw]"},
        {"PromptForData", "0"},         {"UseHotKeys", "0"},    {"Prompt", "Case number"}};
    EXPECT_EQ(Settings(), preset);
    EXPECT_EQ(RegText(kFoldersKey, "ProgramFiles"), P().installFolder);
    EXPECT_EQ(RegText(kFoldersKey, "DataFiles"), P().installFolder);
    EXPECT_EQ(RegText(kFoldersKey, "Logs"), P().logs);
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().desktopLink).c_str(), P().program.c_str()), 0);
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().programLink).c_str(), P().program.c_str()), 0);
    // Wine's WinHelp reader works: the help file, as the setup's shortcut.
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().helpLink).c_str(), P().help.c_str()), 0);

    // One entry in the programs list: Windows Installer's own.
    const std::vector<std::string> entries = ProductEntries();
    ASSERT_EQ(entries.size(), 1u);
    for (const char* name : {"DisplayName", "DisplayVersion", "Publisher", "InstallLocation", "HelpLink", "UninstallString"})
        std::printf("entry %s: %s = %s\n", entries[0].substr(entries[0].rfind('\\') + 1).c_str(), name,
                    RegText(entries[0].c_str(), name).c_str());
    EXPECT_EQ(RegText(entries[0].c_str(), "DisplayName"), "QDX Remote Control");
    EXPECT_EQ(RegText(entries[0].c_str(), "Publisher"), "Tallowind");
    EXPECT_EQ(RegText(entries[0].c_str(), "DisplayVersion").rfind("1.0.0", 0), 0u);
    EXPECT_NE(RegText(entries[0].c_str(), "HelpLink").find("tallowind"), std::string::npos);
    EXPECT_EQ(RegText(entries[0].c_str(), "InstallLocation"), P().installFolder);
    // The entry's icon, which Windows Installer keeps with the product.
    const std::string productCode = entries[0].substr(entries[0].rfind('\\') + 1);
    char icon[MAX_PATH] = "";
    DWORD iconSize = sizeof icon;
    EXPECT_EQ(MsiGetProductInfoA(productCode.c_str(), "ProductIcon", icon, &iconSize), 0u);
    std::printf("product icon: %s\n", icon);
    EXPECT_TRUE(FileExists(icon)) << icon;

    // The password is declared hidden, for Windows Installer's logs.
    MSIHANDLE database = 0;
    ASSERT_EQ(MsiOpenDatabaseA(P().package.c_str(), MSIDBOPEN_READONLY, &database), 0u);
    MSIHANDLE view = 0, record = 0;
    ASSERT_EQ(MsiDatabaseOpenViewA(database,
                                   "SELECT `Value` FROM `Property` WHERE `Property` = 'MsiHiddenProperties'", &view),
              0u);
    MsiViewExecute(view, 0);
    ASSERT_EQ(MsiViewFetch(view, &record), 0u);
    char hidden[256] = "";
    DWORD size = sizeof hidden;
    MsiRecordGetStringA(record, 1, hidden, &size);
    EXPECT_NE((";" + std::string(hidden) + ";").find(";PASSWORD;"), std::string::npos) << hidden;
    MsiCloseHandle(record);
    MsiCloseHandle(view);
    MsiCloseHandle(database);

    // The installed client, started from its installed path, records on the
    // preset recorder with the preset account and channel (shown 5, sent as 4).
    const DWORD pid = Start(P().program);
    HWND main = WaitForMainWindow(pid);
    ASSERT_NE(main, nullptr);
    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    std::string line;
    ASSERT_TRUE(recorder.WaitForLine("session 1 record channel", 20000, &line));
    std::printf("recorder: %s\n", line.c_str());
    EXPECT_NE(line.find("channel 4 "), std::string::npos) << line;
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return Recording(main); }));

    // The Restart Manager's close request: refused while recording (the
    // recording goes on), agreed when idle, and the client then ends.
    DWORD_PTR answer = 99;
    ASSERT_TRUE(SendMessageTimeoutA(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE));
    SendMessageTimeoutA(main, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000, &answer);
    Sleep(500);
    EXPECT_TRUE(IsWindow(main) && Recording(main));
    EXPECT_FALSE(recorder.WaitForLine("session 1 end", 0));
    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(recorder.WaitForLine("session 1 end", 20000));
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return !Recording(main); }));
    ASSERT_TRUE(SendMessageTimeoutA(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    SendMessageTimeoutA(main, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000, &answer);
    EXPECT_TRUE(LastEnded(10000)) << "window " << IsWindow(main);
}

TEST_F(MsiPackage, BadPresetsStopTheInstallWithNothingChanged) {
    const auto before = Settings();
    const Bytes program = ReadBytes(P().program);
    struct Case {
        const char* properties;
        const char* named;
    } cases[] = {
        {"CHANNEL=33 SERVER=other:264", "CHANNEL=\"33\""},
        {"CHANNEL=0", "CHANNEL=\"0\""},
        {"SERVER=recorder:70000 USERNAME=other", "SERVER=\"recorder:70000\""},
        {"SERVER=recorder:0", "SERVER=\"recorder:0\""},
        {"PROMPTFORDATA=yes", "PROMPTFORDATA=\"yes\""},
        {"DESKTOPSHORTCUT=no", "DESKTOPSHORTCUT=\"no\""},
    };
    for (const Case& c : cases) {
        std::string log;
        EXPECT_EQ(Msiexec("/i", P().package, c.properties, &log), kInstallFailure) << c.properties;
        const std::size_t at = log.find(c.named);
        EXPECT_NE(at, std::string::npos) << c.properties;
        if (at != std::string::npos) std::printf("log: ...%s\n", log.substr(at, log.find('\n', at) - at).c_str());
        EXPECT_EQ(Settings(), before) << c.properties;
        EXPECT_TRUE(ReadBytes(P().program) == program) << c.properties;
        EXPECT_EQ(ProductEntries().size(), 1u) << c.properties;
    }
}

TEST_F(MsiPackage, RunAgainRepairsAndWritesOnlyWhatIsGiven) {
    ASSERT_TRUE(DeleteFileA(P().help.c_str()));
    ASSERT_TRUE(DeleteFileA(P().programLink.c_str()));
    auto expected = Settings();
    EXPECT_EQ(Msiexec("/i", P().package, "CHANNEL=32"), 0);
    expected["RecordChannel"] = "31";
    EXPECT_EQ(Settings(), expected);
    EXPECT_TRUE(FileExists(P().help));
    EXPECT_TRUE(FileExists(P().programLink));
    EXPECT_EQ(ProductEntries().size(), 1u);
}

TEST_F(MsiPackage, LowerVersionIsRefused) {
    const auto before = Settings();
    // (Wine's msiexec shows the launch condition's message only in a
    // dialog, not in its log.)
    EXPECT_EQ(Msiexec("/i", P().lower), kInstallFailure);
    EXPECT_TRUE(ReadBytes(P().program) == BuiltProgram());
    EXPECT_EQ(Settings(), before);
    const std::vector<std::string> entries = ProductEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(RegText(entries[0].c_str(), "DisplayVersion").rfind("1.0.0", 0), 0u);
}

TEST_F(MsiPackage, RemovalKeepsSettingsAndLogs) {
    const auto before = Settings();
    const std::string log = P().logs + "\\kept.log";
    ASSERT_TRUE(CopyFileA(FullPath(".\\qdxremote.hlp").c_str(), log.c_str(), FALSE));
    EXPECT_EQ(Msiexec("/x", P().package), 0);
    for (const std::string& gone : {P().program, P().help, P().installFolder + "\\qdxremote.html", P().desktopLink,
                                    P().programLink, P().helpLink})
        EXPECT_FALSE(FileExists(gone)) << gone;
    EXPECT_FALSE(FolderExists(P().group));
    EXPECT_TRUE(ProductEntries().empty());
    EXPECT_EQ(Settings(), before);
    EXPECT_TRUE(FileExists(log));
    DeleteFileA(log.c_str());
}

TEST_F(MsiPackage, UpgradeFromALowerVersionKeepsSettingsAndOneEntry) {
    ASSERT_EQ(Msiexec("/i", P().lower, "DESKTOPSHORTCUT=0 USERNAME=before"), 0);
    EXPECT_FALSE(FileExists(P().desktopLink));
    auto settings = Settings();
    EXPECT_EQ(settings["UserName"], "before");
    ASSERT_EQ(ProductEntries().size(), 1u);
    EXPECT_EQ(RegText(ProductEntries()[0].c_str(), "DisplayVersion").rfind("0.9.0", 0), 0u);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKey, "UserName", REG_SZ, "changed by the agent", 21);
    settings["UserName"] = "changed by the agent";

    // DESKTOPSHORTCUT not given: the install's choice stands.
    EXPECT_EQ(Msiexec("/i", P().package), 0);
    EXPECT_EQ(Settings(), settings);
    const std::vector<std::string> entries = ProductEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(RegText(entries[0].c_str(), "DisplayVersion").rfind("1.0.0", 0), 0u);
    EXPECT_TRUE(ReadBytes(P().program) == BuiltProgram());
    EXPECT_FALSE(FileExists(P().desktopLink));
    EXPECT_TRUE(FileExists(P().programLink));
}

// Over the package's install the setup package stops at once and says what to do.
TEST_F(MsiPackage, SetupRefusesAnInstallOfThePackage) {
    ASSERT_EQ(ProductEntries().size(), 1u);
    const Bytes program = ReadBytes(P().program);
    const DWORD pid = Start(P().setup);
    HWND box = nullptr;
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return (box = client::FindDialog(pid, "Install Error")) != nullptr; }, 30000));
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (client::WindowText(child).size() > text.size()) text = client::WindowText(child);
    std::printf("setup: %s\n", text.c_str());
    EXPECT_NE(text.find("Windows Installer package"), std::string::npos);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(LastEnded(20000));
    EXPECT_TRUE(ReadBytes(P().program) == program);
    EXPECT_FALSE(FileExists(P().uninstaller));
    EXPECT_FALSE(qdxtest::KeyExists(HKEY_LOCAL_MACHINE, kSetupEntryKey));
    EXPECT_EQ(Msiexec("/x", P().package), 0);
}

// Over the setup's install the package takes it over: the same files and
// shortcuts, its own entry, and none of the setup's uninstaller and entry.
TEST_F(MsiPackage, PackageTakesOverAnInstallOfTheSetup) {
    const DWORD pid = Start(P().setup);
    HWND page = nullptr;
    ASSERT_TRUE(qdxtest::WaitUntil(
        [&] {
            // Ready once shown, after its initialisation ran.
            page = client::FindDialog(pid, "QDX Remote Control Software Licence Terms");
            return page && IsWindowVisible(page) && IsWindowEnabled(GetDlgItem(page, IDC_LICENCE_AGREE));
        },
        30000));
    SendMessageA(GetDlgItem(page, IDC_LICENCE_AGREE), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_LICENCE_AGREE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_LICENCE_AGREE)));
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, IDOK)));
    ASSERT_TRUE(LastEnded(60000));
    // The setup starts the installed client at its end (through the desktop
    // shell, which may take a moment): it is asked to close as an installer does.
    HWND started = nullptr;
    if (qdxtest::WaitUntil([&] { return (started = client::FindDialog(0, client::kTitle)) != nullptr; }, 20000)) {
        DWORD clientPid = 0;
        GetWindowThreadProcessId(started, &clientPid);
        ASSERT_NE(world->processes.Track(clientPid), nullptr);
        PostMessageA(started, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
        ASSERT_NE(world->processes.WaitForExit(clientPid, 10000), -1);
    }
    ASSERT_TRUE(FileExists(P().uninstaller));
    ASSERT_TRUE(qdxtest::KeyExists(HKEY_LOCAL_MACHINE, kSetupEntryKey));

    EXPECT_EQ(Msiexec("/i", P().package), 0);
    EXPECT_FALSE(FileExists(P().uninstaller));
    EXPECT_FALSE(qdxtest::KeyExists(HKEY_LOCAL_MACHINE, kSetupEntryKey));
    EXPECT_EQ(ProductEntries().size(), 1u);
    EXPECT_TRUE(ReadBytes(P().program) == BuiltProgram());
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().programLink).c_str(), P().program.c_str()), 0);
    EXPECT_EQ(Msiexec("/x", P().package), 0);
    EXPECT_FALSE(FileExists(P().program));
    EXPECT_FALSE(FileExists(P().desktopLink));
}

// The package as scripts/sign.sh signs it (the signing fixture) installs the
// program as signed.
TEST_F(MsiPackage, SignedPackageInstalls) {
    ASSERT_TRUE(FileExists(P().signedPackage)) << P().signedPackage;
    EXPECT_EQ(Msiexec("/i", P().signedPackage), 0);
    EXPECT_TRUE(ReadBytes(P().program) == ReadBytes(FullPath(".\\signing\\signed\\qdxremote.exe")));
    EXPECT_EQ(Msiexec("/x", P().signedPackage), 0);
}

// An upgrade over a client that is recording (to the signed package, whose
// program differs from the lower version's): the recording goes on, the
// install ends with 3010 and the new file waits for the next restart. (Wine
// has no Restart Manager: it never asks the client, idle or recording, to
// close, and ends so for an idle client too. On Windows the client refuses the
// request while recording, as the first test shows, with the same result.)
TEST_F(MsiPackage, UpgradeOverARecordingClientLeavesTheRecordingAlone) {
    qdxtest::RegValueGuard pending(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                                   "PendingFileRenameOperations");
    RecorderProcess recorder({"--user", "agent7", "--password", "pw", "--level-ms", "50"});
    ASSERT_TRUE(recorder.Started()) << recorder.Error();
    ASSERT_EQ(Msiexec("/i", P().lower, "SERVER=" + recorder.Address() + " USERNAME=agent7 PASSWORD=pw"), 0);
    const DWORD pid = Start(P().program);
    HWND main = WaitForMainWindow(pid);
    ASSERT_NE(main, nullptr);
    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    ASSERT_TRUE(recorder.WaitForLine("session 1 record", 20000));
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return Recording(main); }));

    EXPECT_EQ(Msiexec("/i", P().signedPackage), 3010);
    Sleep(500);
    EXPECT_TRUE(IsWindow(main) && Recording(main));
    EXPECT_FALSE(recorder.WaitForLine("session 1 end", 0));
    const std::vector<std::string> entries = ProductEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(RegText(entries[0].c_str(), "DisplayVersion").rfind("1.0.0", 0), 0u);
    // The replacement the next restart makes.
    HKEY key = nullptr;
    char names[4096] = "";
    DWORD size = sizeof names;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(names), &size);
        RegCloseKey(key);
    }
    // Pairs of names: the file, and what it becomes (empty: deleted).
    bool replaced = false;
    for (const char* name = names; name + 1 < names + size && *name;) {
        const char* target = name + lstrlenA(name) + 1;
        std::printf("pending at restart: %s -> %s\n", name, *target ? target : "(deleted)");
        replaced = replaced || std::string(target).find("\\qdxremote.exe") != std::string::npos;
        name = target + lstrlenA(target) + 1;
    }
    EXPECT_TRUE(replaced);

    PostMessageA(GetDlgItem(main, IDC_MAIN_RECORD), BM_CLICK, 0, 0);
    EXPECT_TRUE(recorder.WaitForLine("session 1 end", 20000));
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return !Recording(main); }));
    PostMessageA(main, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_TRUE(LastEnded(10000));
    EXPECT_EQ(Msiexec("/x", P().signedPackage), 0);
}

}  // namespace
