// The real qdxsetup.exe and the uninstaller it leaves, run as a user would:
// with Program Files pointed at a temporary folder (whose path has spaces),
// the licence page driven, message boxes answered. The tests run in order and
// build on each other: corrupt name, damaged package over an earlier install,
// install, unsound packages and Cancel over that install, updates over a
// running client and over a program in use, uninstall in two processes (No),
// uninstall with an argument (Yes). SetupFullDisk runs in a test entry of its
// own, under a file-size limit (file_size_limit.sh).
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "canvas.h"
#include "client_driver.h"
#include "res/resource.h"
#include "setup/folders.h"
#include "core/package.h"
#include "core/peimage.h"
#include "files.h"
#include "process_start.h"
#include "registry.h"

using qdxtest::Bytes;
using qdxtest::FileExists;
using qdxtest::FolderExists;
using qdxtest::FullPath;
using qdxtest::ReadBytes;
using qdxtest::RegText;

namespace {

const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QDXRemote";
const char kProgressCaption[] = "Installing QDX Remote Control v 1.00";
const char kLicenceCaption[] = "QDX Remote Control Software Licence Terms";
const char kConfirmCaption[] = "Uninstall QDX Remote Control";

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
    return written == bytes.size();
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every file directly in folder, by name, with its bytes: the same map
// before and after a run means the files are unchanged byte for byte and no
// file (a temporary one, say) was left behind.
std::map<std::string, Bytes> FolderFiles(const std::string& folder) {
    std::map<std::string, Bytes> files;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files[found.cFileName] = ReadBytes(folder + "\\" + found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return files;
}

// Names of the files added, removed or changed between two FolderFiles maps;
// empty when none.
std::string Changes(const std::map<std::string, Bytes>& before, const std::map<std::string, Bytes>& after) {
    std::string changes;
    for (const auto& [name, bytes] : before) {
        const auto now = after.find(name);
        if (now == after.end()) changes += " removed " + name;
        else if (now->second != bytes) changes += " changed " + name;
    }
    for (const auto& [name, bytes] : after)
        if (!before.count(name)) changes += " added " + name;
    return changes;
}

// The text of a message box: its longest static text.
std::string MessageBoxText(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32] = "";
        GetClassNameA(child, name, sizeof name);
        const std::string t = client::WindowText(child);
        if (lstrcmpiA(name, "Static") == 0 && t.size() > text.size()) text = t;
    }
    return text;
}

void SetRegText(const char* subkey, const char* name, const std::string& text) {
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, subkey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// A REG_DWORD value as decimal text, "(missing)" when there is none of that type.
std::string RegNumber(const char* subkey, const char* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, subkey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return "(missing)";
    return std::to_string(value);
}

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

// The files and folders marked for removal at the system's next start, in
// their order (renames to a new name are left out).
std::vector<std::string> RemovalsAtRestart() {
    std::vector<std::string> removals;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return removals;
    DWORD size = 0;
    std::wstring list;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        list.resize(size / sizeof(wchar_t) + 1);
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&list[0]),
                         &size);
    }
    RegCloseKey(key);
    // Pairs of names, a removal's second one empty: the list ends at its size,
    // not at its first empty name.
    list.resize(size / sizeof(wchar_t));
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find(L'\0', at), list.size());
        std::string name;
        for (std::size_t i = at; i < end; ++i) name += list[i] < 128 ? static_cast<char>(list[i]) : '?';
        names.push_back(name);
        at = end + 1;
    }
    for (std::size_t i = 0; i + 1 < names.size(); i += 2) {
        const std::string& from = names[i];
        if (names[i + 1].empty()) removals.push_back(from.compare(0, 4, "\\??\\") == 0 ? from.substr(4) : from);
    }
    return removals;
}

// The folders of uninstaller copies in the temporary folder.
std::vector<std::string> CopyFolders(const std::string& temp) {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((temp + "qdx-uninst-*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return folders;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(temp + found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return folders;
}

// Every value of a key, by name, with its type and bytes.
std::map<std::string, Bytes> RegValues(const char* subkey) {
    std::map<std::string, Bytes> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name, type = 0, size = 0;
        BYTE data[1024];
        size = sizeof data;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        Bytes value(data, data + size);
        value.push_back(static_cast<unsigned char>(type));
        values[name] = value;
    }
    RegCloseKey(key);
    return values;
}

std::string ImagePath(DWORD pid) {
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) return "";
    QueryFullProcessImageNameA(p, 0, path, &size);
    CloseHandle(p);
    return path;
}

// The file name of the process that started pid, "" when not found.
std::string ParentName(DWORD pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !parent; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == pid) parent = entry.th32ParentProcessID;
    std::string name;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && parent; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == parent) name = entry.szExeFile;
    CloseHandle(snapshot);
    return name;
}

bool Elevated() {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return elevation.TokenIsElevated != 0;
}

DWORD WindowProcess(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// A dialog is found as soon as its window exists; it is ready once shown,
// after its controls were made and its initialisation ran.
HWND WaitForDialog(DWORD pid, const char* caption) {
    HWND found = nullptr;
    qdxtest::WaitUntil([&] { return (found = client::FindDialog(pid, caption)) != nullptr && IsWindowVisible(found); },
                      20000);
    return found;
}

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

struct Paths {
    std::string root, programFiles, maker, installFolder, program, help, uninstaller, logs;
    std::string desktopLink, group, programLink, helpLink, tempCopy;
};

// Everything the suite changes, put back when it ends (in reverse order of
// these members: processes first, then files, then the registry).
struct World {
    qdxtest::TempFolder root{"setuprun"};
    qdxtest::ProductKeyGuard product;
    qdxtest::RegKeySnapshot folders{HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Folders"};
    qdxtest::RegKeySnapshot uninstallEntry{HKEY_LOCAL_MACHINE, kUninstallKey};
    qdxtest::RegValueGuard programFilesDir{HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir"};
    // The help shortcut follows this setting; a test program before may have left it.
    qdxtest::RegValueGuard helpReader{HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings", "HelpReader"};
    // An uninstaller's copy marks itself for removal at the system's next start.
    qdxtest::RegValueGuard removalsAtRestart{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
    Paths p;
    qdxtest::Processes processes;
    Bytes package, program, help;  // the built package and its first two files
    SetupTrailer trailer;

    ~World() {
        processes.EndAll();
        for (const std::string& f : {p.desktopLink, p.programLink, p.helpLink, p.tempCopy}) DeleteFileA(f.c_str());
        RemoveDirectoryA(p.group.c_str());
        if (p.tempCopy.find("\\qdx-uninst-") != std::string::npos)  // the uninstaller's own folder
            RemoveDirectoryA(p.tempCopy.substr(0, p.tempCopy.rfind('\\')).c_str());
    }
};

std::unique_ptr<World> world;

class SetupRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        world = std::make_unique<World>();
        Paths& p = world->p;
        p.root = world->root.Path();
        p.programFiles = p.root + "\\Program Files";
        CreateDirectoryA(p.programFiles.c_str(), nullptr);
        world->programFilesDir.SetText(p.programFiles);
        world->helpReader.Remove();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
        p.maker = p.programFiles + "\\Tallowind";
        p.installFolder = p.maker + "\\QDXRemote";
        p.program = p.installFolder + "\\qdxremote.exe";
        p.help = p.installFolder + "\\qdxremote.hlp";
        p.uninstaller = p.installFolder + "\\uninst.exe";
        p.logs = p.installFolder + "\\Logs";
        char path[qdx::kTextSize];
        GetDesktopShortcutPath(path);
        p.desktopLink = path;
        if (GetStartMenuGroupFolder(path)) p.group = path;
        p.programLink = p.group + "\\QDX Remote Control.lnk";
        p.helpLink = p.group + "\\QDX Remote Control Help.lnk";
        GetTempPathA(sizeof path, path);
        p.tempCopy = std::string(path) + "uninst.exe";
        DeleteFileA(p.tempCopy.c_str());

        World& w = *world;
        w.package = ReadBytes(FullPath(".\\qdxsetup.exe"));
        const std::size_t trailerSize = SetupTrailerSize(kSetupFileCount);
        if (w.package.size() > trailerSize &&
            ParseSetupTrailer(w.package.data() + w.package.size() - trailerSize, kSetupFileCount, w.trailer) &&
            SetupSizesSound(w.trailer, w.package.size())) {
            w.program.assign(w.package.begin(), w.package.begin() + w.trailer.sizes[0]);
            w.help.assign(w.package.begin() + w.trailer.sizes[0],
                          w.package.begin() + w.trailer.sizes[0] + w.trailer.sizes[1]);
        }
        // A file that an unquoted start of "...\Program Files\...\qdxremote.exe"
        // would run instead of the installed program.
        CopyFileA(FullPath(".\\qdxremote.exe").c_str(), (p.root + "\\Program.exe").c_str(), FALSE);
    }
    static void TearDownTestSuite() {
        world.reset();
        CoUninitialize();
    }
    void SetUp() override {
        ASSERT_FALSE(world->program.empty()) << "qdxsetup.exe missing or malformed";
        ASSERT_EQ(client::CountMainWindows(), 0) << "a client is running already";
    }

    static const Paths& P() { return world->p; }

    // Installs a program that runs like the packaged one but differs from it
    // in a byte of its DOS stub text, so that a run that replaces it shows.
    static void InstallOtherProgram() {
        Bytes other = Concat(world->program, {0, 0, 0, 0});
        other[0x4F] ^= 0x20;  // "This" -> "THis"
        ASSERT_TRUE(WriteBytes(P().program, other));
    }

    // Starts the installed program and waits for its main window.
    static HWND StartInstalledClient(DWORD* pid) {
        *pid = world->processes.Start(P().program);
        HWND main = nullptr;
        qdxtest::WaitUntil([&] { return (main = client::FindMainWindow(*pid)) != nullptr && IsWindowVisible(main); },
                           30000);
        return main;
    }

    // Runs a copy of the package under name, accepts the licence terms, and
    // returns the process id (0 when the page never came).
    static DWORD StartAndAcceptLicence(const std::string& name, const Bytes& bytes, HWND* progress,
                                       bool cancel = false) {
        const std::string path = P().root + "\\" + name;
        if (!WriteBytes(path, bytes)) return 0;
        return AcceptLicence(world->processes.Start(path), progress, cancel);
    }

    // cancel: presses the progress window's Cancel right behind Next. Both
    // messages wait in the setup's queue in that order; the licence page's
    // loop ends after Next, so Cancel is taken by the extraction's first look
    // at its messages.
    static DWORD AcceptLicence(DWORD pid, HWND* progress, bool cancel = false) {
        HWND page = WaitForDialog(pid, kLicenceCaption);
        if (!page) return 0;
        *progress = client::FindDialog(pid, kProgressCaption);
        EXPECT_NE(*progress, nullptr);
        EXPECT_EQ(GetWindow(page, GW_OWNER), *progress);
        // Next waits for "I agree"; until then even the command does nothing.
        HWND next = GetDlgItem(page, IDOK);
        EXPECT_TRUE(next && !IsWindowEnabled(next));
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next),
                            SMTO_NORMAL, 5000, &ignored);
        EXPECT_TRUE(IsWindow(page));
        SendMessageA(GetDlgItem(page, IDC_LICENCE_AGREE), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_LICENCE_AGREE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_LICENCE_AGREE)));
        EXPECT_TRUE(IsWindowEnabled(next));
        Press(page, IDOK);
        if (cancel) Press(*progress, IDCANCEL);
        return pid;
    }

    // Waits for "Install Error" of pid, checks its owner, presses OK; the
    // box's text in *text.
    static void AnswerInstallError(DWORD pid, HWND owner, std::string* text = nullptr) {
        HWND box = WaitForDialog(pid, "Install Error");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(GetWindow(box, GW_OWNER), owner);
        if (text) *text = MessageBoxText(box);
        Press(box, IDOK);
    }
};

const char kCorruptText[] = "Installation file corrupt.";

TEST_F(SetupRun, ProgramNamedLikeSetupShowsCorruptMessage) {
    const std::string copy = P().root + "\\mysetup.exe";
    ASSERT_TRUE(CopyFileA(FullPath(".\\qdxremote.exe").c_str(), copy.c_str(), FALSE));
    const DWORD pid = world->processes.Start(copy);
    AnswerInstallError(pid, nullptr);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    EXPECT_FALSE(FolderExists(P().programFiles + "\\Tallowind"));
}

// Over an earlier install (small files and an entry of its own), which stays.
TEST_F(SetupRun, DamagedPackageInstallsNothing) {
    CreateDirectoryA(P().maker.c_str(), nullptr);
    CreateDirectoryA(P().installFolder.c_str(), nullptr);
    for (const std::string& f : {P().program, P().help, P().uninstaller}) ASSERT_TRUE(WriteBytes(f, {'o', 'l', 'd'}));
    const std::map<std::string, Bytes> before = FolderFiles(P().installFolder);
    SetRegText(kUninstallKey, "DisplayVersion", "0.9");
    Bytes damaged = world->package;
    damaged[world->trailer.sizes[0] + 100] ^= 0x01;  // a byte of the help file
    HWND progress = nullptr;
    const DWORD pid = StartAndAcceptLicence("qdxsetup-damaged.exe", damaged, &progress);
    ASSERT_NE(pid, 0u);
    AnswerInstallError(pid, progress);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    // Extracted and checked, then thrown away: nothing is installed.
    EXPECT_EQ(Changes(before, FolderFiles(P().installFolder)), "");
    EXPECT_EQ(RegText("Software\\Tallowind\\QDXRemote\\Folders", "Logs"), P().logs);
    EXPECT_TRUE(FolderExists(P().logs));
    EXPECT_FALSE(FileExists(P().desktopLink));
    EXPECT_EQ(RegText(kUninstallKey, "DisplayVersion"), "0.9");
    EXPECT_EQ(RegText(kUninstallKey, "DisplayName"), "(missing)");
    EXPECT_EQ(client::CountMainWindows(), 0);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);  // the install below makes its own
}

TEST_F(SetupRun, InstallsAndStartsTheInstalledProgram) {
    // A link planted under the help file's staging name: written through, it
    // would change the file it leads to.
    const std::string victim = P().root + "\\victim.txt";
    ASSERT_TRUE(WriteBytes(victim, {'v'}));
    ASSERT_TRUE(CreateHardLinkA((P().help + ".new").c_str(), victim.c_str(), nullptr));
    HWND progress = nullptr;
    const DWORD pid = StartAndAcceptLicence("qdxsetup.exe", world->package, &progress);
    ASSERT_NE(pid, 0u);
    HWND client = nullptr;
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return (client = client::FindDialog(0, client::kTitle)) != nullptr; }, 30000));
    const DWORD clientPid = WindowProcess(client);
    world->processes.Track(clientPid);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    // Started by its own path, not by "...\Program.exe" of an unquoted command line.
    EXPECT_EQ(lstrcmpiA(ImagePath(clientPid).c_str(), P().program.c_str()), 0) << ImagePath(clientPid);
    // An elevated setup (as this one is under Wine) has the desktop shell
    // start it, with the rights of the user whose desktop it is.
    if (Elevated()) {
        EXPECT_EQ(lstrcmpiA(ParentName(clientPid).c_str(), "explorer.exe"), 0) << ParentName(clientPid);
    }

    const Bytes installed = ReadBytes(P().program);
    EXPECT_EQ(installed, Concat(world->program, {0, 0, 0, 0}));
    EXPECT_EQ(ReadBytes(P().help), world->help);
    EXPECT_EQ(ReadBytes(victim), Bytes{'v'});
    EXPECT_FALSE(FileExists(P().help + ".new"));
    EXPECT_EQ(ReadBytes(P().uninstaller), Concat(installed, {0x0F, 0x0F, 0xF0, 0xF0}));
    // The help pages as the build wrote them beside its program.
    for (const SetupFileEntry* row = SetupFileTable; row->fileName; ++row) {
        if (row->kind != SetupFileKind::kHtmlPage) continue;
        const Bytes built = ReadBytes(FullPath(row->fileName));
        EXPECT_FALSE(built.empty()) << row->fileName;
        EXPECT_EQ(ReadBytes(P().installFolder + "\\" + row->fileName), built) << row->fileName;
    }

    // The uninstall entry, as the system's list of programs reads it.
    std::uint64_t bytes = 0;
    for (const auto& [name, content] : FolderFiles(P().installFolder)) bytes += content.size();
    const std::string kilobytes = std::to_string((bytes + 1023) / 1024);
    const std::pair<const char*, std::string> entry[] = {
        {"DisplayName", "QDX Remote Control Uninstall"},
        {"UninstallString", "\"" + P().uninstaller + "\""},  // a command line
        {"DisplayIcon", P().program},
        {"DisplayVersion", "1.00"},
        {"Publisher", "Tallowind"},
        {"InstallLocation", P().installFolder},
    };
    for (const auto& [name, value] : entry) {
        EXPECT_EQ(RegText(kUninstallKey, name), value) << name;
        std::printf("uninstall entry: %s = %s\n", name, RegText(kUninstallKey, name).c_str());
    }
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"EstimatedSize", kilobytes},
                                      {"NoModify", "1"}, {"NoRepair", "1"}}) {
        EXPECT_EQ(RegNumber(kUninstallKey, name), value) << name;
        std::printf("uninstall entry: %s = %s (REG_DWORD)\n", name, RegNumber(kUninstallKey, name).c_str());
    }
    EXPECT_EQ(RegText("Software\\Tallowind\\QDXRemote\\Folders", "ProgramFiles"), P().installFolder);
    EXPECT_EQ(RegText("Software\\Tallowind\\QDXRemote\\Folders", "DataFiles"), P().installFolder);
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().desktopLink).c_str(), P().program.c_str()), 0);
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().programLink).c_str(), P().program.c_str()), 0);
    // No HelpReader value: Wine's WinHelp reader works, so the help file.
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().helpLink).c_str(), P().help.c_str()), 0);

    world->processes.EndAll();
}

// The package and program as scripts/sign.sh signs them (the signing fixture,
// with a throwaway certificate): the installed program is the signed one,
// byte for byte, so its signature holds; the uninstaller is the program with
// the uninstall marker in place of the certificate table.
TEST_F(SetupRun, SignedPackageInstallsTheProgramAsSigned) {
    const Bytes package = ReadBytes(FullPath(".\\signing\\signed\\qdxsetup.exe"));
    const Bytes program = ReadBytes(FullPath(".\\signing\\signed\\qdxremote.exe"));
    ASSERT_FALSE(package.empty() || program.empty()) << "the signing fixture did not run";
    const std::uint64_t table = CertificateTableStart(program.data(), kSetupHeadSize, program.size());
    ASSERT_LT(table, program.size()) << "the program is not signed";
    HWND progress = nullptr;
    const DWORD pid = StartAndAcceptLicence("qdxsetup.exe", package, &progress);
    ASSERT_NE(pid, 0u);
    HWND client = nullptr;
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return (client = client::FindDialog(0, client::kTitle)) != nullptr; }, 30000));
    world->processes.Track(WindowProcess(client));
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    EXPECT_EQ(ReadBytes(P().program), program);
    EXPECT_EQ(ReadBytes(P().help), world->help);
    Bytes uninstaller(program.begin(), program.begin() + table);
    PeFields pe;
    ASSERT_TRUE(ReadPeFields(uninstaller.data(), kSetupHeadSize, pe));
    WriteLE32(&uninstaller[pe.securityEntryAt], 0);
    WriteLE32(&uninstaller[pe.securityEntryAt + 4], 0);
    EXPECT_EQ(ReadBytes(P().uninstaller), Concat(uninstaller, {0x0F, 0x0F, 0xF0, 0xF0}));
    world->processes.EndAll();
}

// A setup started from a folder that holds a DLL (tests/planted_dll.cpp) under
// the name of each DLL loaded into it after its start, by bare name (uxtheme
// by the common controls; the others are the names planted on Windows): the
// search takes none from the setup's folder. The DLLs of the import table and
// theirs are loaded before the first instruction, where Wine takes them from
// the program's folder whatever the load configuration says (shcore, say):
// they are not planted here.
TEST_F(SetupRun, PlantedDllsBesideTheSetupAreNotLoaded) {
    const std::string folder = P().root + "\\planted";
    CreateDirectoryA(folder.c_str(), nullptr);
    const char* const names[] = {"uxtheme.dll", "dwmapi.dll", "cryptbase.dll", "winmm.dll", "propsys.dll"};
    for (const char* name : names)
        ASSERT_TRUE(CopyFileA(FullPath(".\\tests\\planted.dll").c_str(), (folder + "\\" + name).c_str(), FALSE));
    HWND progress = nullptr;
    const DWORD pid = StartAndAcceptLicence("planted\\qdxsetup.exe", world->package, &progress);
    ASSERT_NE(pid, 0u);
    HWND client = nullptr;
    ASSERT_TRUE(qdxtest::WaitUntil([&] { return (client = client::FindDialog(0, client::kTitle)) != nullptr; }, 30000));
    world->processes.Track(WindowProcess(client));
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    for (const char* name : names) EXPECT_FALSE(FileExists(folder + "\\" + name + ".loaded")) << name;
    world->processes.EndAll();
}

// Over a working install: each package is refused with the corrupt-file
// message, and the install stays byte for byte, with no file left beside it.
TEST_F(SetupRun, UnsoundPackagesLeaveTheInstallAsItWas) {
    const std::map<std::string, Bytes> before = FolderFiles(P().installFolder);
    ASSERT_EQ(before.count("qdxremote.exe"), 1u);
    const std::size_t s0 = world->trailer.sizes[0];
    const auto withTrailer = [](std::int32_t size0, std::int32_t size1, std::uint32_t checksum) {
        Bytes bytes = world->package;
        SetupTrailer lie = world->trailer;
        lie.sizes[0] = size0, lie.sizes[1] = size1, lie.checksum = checksum;
        WriteSetupTrailer(lie, bytes.data() + bytes.size() - SetupTrailerSize(kSetupFileCount));
        return bytes;
    };
    const SetupTrailer& t = world->trailer;
    Bytes flipped = world->package, cut = world->package;
    flipped[s0 + 100] ^= 0x01;  // fails only the checksum, after extraction
    cut.erase(cut.begin() + s0 + 10, cut.begin() + s0 + 110);
    // The help file ends in zero bytes: the trailers below still add up.
    ASSERT_EQ(world->help.back(), 0);
    Bytes signedFlipped = ReadBytes(FullPath(".\\signing\\signed\\qdxsetup.exe"));
    ASSERT_GT(signedFlipped.size(), s0 + 100);
    signedFlipped[s0 + 100] ^= 0x01;
    struct Case { const char* name; Bytes bytes; } cases[] = {
        {"one flipped byte", flipped},
        {"one flipped byte of a signed package", signedFlipped},
        {"cut in the middle", cut},
        {"help size smaller, spare bytes left", withTrailer(t.sizes[0], t.sizes[1] - 1, t.checksum)},
        {"sizes swapped", withTrailer(t.sizes[1], t.sizes[0], t.checksum)},
        {"both sizes 0, checksum 0", withTrailer(0, 0, 0)},
        {"help size 0", withTrailer(t.sizes[0], 0, t.checksum)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND progress = nullptr;
        const DWORD pid = StartAndAcceptLicence("qdxsetup-unsound.exe", c.bytes, &progress);
        ASSERT_NE(pid, 0u);
        std::string text;
        AnswerInstallError(pid, progress, &text);
        EXPECT_EQ(text.rfind(kCorruptText, 0), 0u) << text;
        EXPECT_EQ(world->processes.WaitForExit(pid), 0);
        EXPECT_EQ(Changes(before, FolderFiles(P().installFolder)), "");
        EXPECT_EQ(client::CountMainWindows(), 0);
    }
}

TEST_F(SetupRun, CancelDuringExtractionLeavesTheInstallAsItWas) {
    InstallOtherProgram();  // a run that went on past Cancel would replace it
    const std::map<std::string, Bytes> before = FolderFiles(P().installFolder);
    ASSERT_EQ(before.count("qdxremote.exe"), 1u);
    HWND progress = nullptr;
    const DWORD pid = StartAndAcceptLicence("qdxsetup.exe", world->package, &progress, true);
    ASSERT_NE(pid, 0u);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    EXPECT_EQ(Changes(before, FolderFiles(P().installFolder)), "");
    EXPECT_EQ(client::CountMainWindows(), 0);
}

// Whether text, wrapped at the words as the static control does, fits in the
// control: measured in the progress window's font (8-point MS Sans Serif at the
// screen's DPI), made here, as the control's own belongs to the setup process.
bool TextFits(HWND control, const std::string& text) {
    RECT box = {};
    if (!GetClientRect(control, &box)) return false;
    HDC dc = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    qdx::UniqueGdiObject font(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                                          "MS Sans Serif"));
    const HGDIOBJ old = SelectObject(dc, font.Get());
    RECT need = {0, 0, box.right, 0};
    DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    std::printf("waiting text: %ld x %ld pixels in a line of %ld x %ld\n", need.right, need.bottom, box.right,
                box.bottom);
    return need.right <= box.right && need.bottom <= box.bottom;
}

// A setup started while the installed client runs asks it to close. The
// client asks whether to keep running; while nobody answers, the progress
// window says what the setup waits for, and Cancel leaves everything.
TEST_F(SetupRun, UpdateWaitsForTheRunningClientAndCancelLeavesAll) {
    const std::map<std::string, Bytes> before = FolderFiles(P().installFolder);
    DWORD clientPid = 0;
    HWND main = StartInstalledClient(&clientPid);
    ASSERT_NE(main, nullptr);
    const std::string setup = P().root + "\\qdxsetup.exe";
    ASSERT_TRUE(WriteBytes(setup, world->package));
    const DWORD pid = world->processes.Start(setup);
    HWND progress = WaitForDialog(pid, kProgressCaption);
    ASSERT_NE(progress, nullptr);
    ASSERT_NE(client::FindDialog(clientPid, "Confirm Stop"), nullptr);
    const std::string waiting =
        "Waiting for you to close QDX Remote Control: it may be running in the notification area";
    EXPECT_EQ(client::ControlText(progress, IDC_PROGRESS_LINE1), waiting);
    EXPECT_TRUE(TextFits(GetDlgItem(progress, IDC_PROGRESS_LINE1), waiting)) << "the waiting text is cut off";
    qdxtest::CaptureWindow(progress).Save("setup", "waiting");
    EXPECT_EQ(client::FindDialog(pid, kLicenceCaption), nullptr);
    Press(progress, IDCANCEL);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    EXPECT_EQ(Changes(before, FolderFiles(P().installFolder)), "");
    EXPECT_TRUE(IsWindow(main));
    ASSERT_TRUE(client::AnswerConfirmStop(clientPid, IDNO));
    EXPECT_EQ(world->processes.WaitForExit(clientPid), 0);
}

// The client answers No and ends: the update replaces the program and
// starts the new one. A help file held open (by a reader) keeps its content
// and the rest goes on. The entry, as an administrator left it, keeps its
// name and command and gets this install's version, size, icon and place.
// With the browser set as the help reader, the help shortcut leads to the
// contents page.
TEST_F(SetupRun, UpdateOverAClientThatClosesReplacesTheProgram) {
    client::SetSetting("Settings", "HelpReader", "Browser");
    const Bytes oldHelp = {'o', 'l', 'd'};
    ASSERT_TRUE(WriteBytes(P().help, oldHelp));
    ASSERT_TRUE(DeleteFileA(P().uninstaller.c_str()));
    const std::string command = "\"" + P().uninstaller + "\" /site";
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"DisplayName", "QDX desk client"},
                                      {"UninstallString", command}, {"DisplayVersion", "0.9"},
                                      {"DisplayIcon", "C:\\old.ico"}, {"InstallLocation", "C:\\old"}})
        SetRegText(kUninstallKey, name, value);
    const DWORD one = 1;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", REG_DWORD, &one, sizeof one);
    DWORD oldPid = 0;
    ASSERT_NE(StartInstalledClient(&oldPid), nullptr);
    HANDLE held = CreateFileA(P().help.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const DWORD pid = world->processes.Start(P().root + "\\qdxsetup.exe");
    ASSERT_NE(WaitForDialog(oldPid, "Confirm Stop"), nullptr);  // its buttons made
    ASSERT_TRUE(client::AnswerConfirmStop(oldPid, IDNO));
    EXPECT_EQ(world->processes.WaitForExit(oldPid), 0);
    HWND progress = nullptr;
    ASSERT_EQ(AcceptLicence(pid, &progress), pid);
    HWND started = nullptr;
    EXPECT_TRUE(
        qdxtest::WaitUntil([&] { return (started = client::FindDialog(0, client::kTitle)) != nullptr; }, 30000));
    if (started) world->processes.Track(WindowProcess(started));
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(P().program), Concat(world->program, {0, 0, 0, 0}));
    EXPECT_EQ(ReadBytes(P().help), oldHelp);
    const std::map<std::string, Bytes> files = FolderFiles(P().installFolder);
    EXPECT_EQ(files.size(), kSetupFileCount + 1);  // the uninstaller too; no staged file left
    EXPECT_EQ(ReadBytes(P().uninstaller), Concat(ReadBytes(P().program), {0x0F, 0x0F, 0xF0, 0xF0}));
    std::uint64_t bytes = 0;
    for (const auto& [name, content] : files) bytes += content.size();
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"DisplayName", "QDX desk client"},
                                      {"UninstallString", command}, {"DisplayVersion", "1.00"},
                                      {"DisplayIcon", P().program}, {"InstallLocation", P().installFolder}})
        EXPECT_EQ(RegText(kUninstallKey, name), value) << name;
    EXPECT_EQ(RegNumber(kUninstallKey, "EstimatedSize"), std::to_string((bytes + 1023) / 1024));
    EXPECT_EQ(lstrcmpiA(qdxtest::ShortcutTarget(P().helpLink).c_str(), (P().installFolder + "\\qdxremote.html").c_str()), 0)
        << qdxtest::ShortcutTarget(P().helpLink);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings", "HelpReader");
    world->processes.EndAll();
    EXPECT_TRUE(WriteBytes(P().help, world->help));
}

// A program that still cannot be replaced (held open here, as by a process
// that has not let go of it): nothing is replaced and the box says why. Every
// file, shortcut and entry value differs from what the setup would write, so
// that any one it wrote would show.
TEST_F(SetupRun, ProgramInUseReplacesNothing) {
    InstallOtherProgram();
    const std::map<std::string, Bytes> installed = FolderFiles(P().installFolder);
    for (const auto& [name, bytes] : installed) {
        if (name != "qdxremote.exe") {
            ASSERT_TRUE(WriteBytes(P().installFolder + "\\" + name, Concat(bytes, {'x'})));
        }
    }
    const std::vector<std::string> links = {P().desktopLink, P().programLink, P().helpLink};
    std::vector<Bytes> linksBefore;
    for (const std::string& link : links) {
        ASSERT_TRUE(FileExists(link)) << link;
        linksBefore.push_back(Concat(ReadBytes(link), {'x'}));
        ASSERT_TRUE(WriteBytes(link, linksBefore.back())) << link;
    }
    const std::string version = RegText(kUninstallKey, "DisplayVersion");
    SetRegText(kUninstallKey, "DisplayVersion", "0.9");
    const std::map<std::string, Bytes> entryBefore = RegValues(kUninstallKey);
    const std::map<std::string, Bytes> before = FolderFiles(P().installFolder);
    HANDLE held = CreateFileA(P().program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HWND progress = nullptr;
    const DWORD pid = StartAndAcceptLicence("qdxsetup.exe", world->package, &progress);
    ASSERT_NE(pid, 0u);
    std::string text;
    AnswerInstallError(pid, progress, &text);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    CloseHandle(held);
    EXPECT_EQ(text.rfind("The file " + P().program + " is in use.\n\nClose QDX Remote Control and run the setup again.", 0), 0u)
        << text;
    EXPECT_EQ(Changes(before, FolderFiles(P().installFolder)), "");
    EXPECT_EQ(client::CountMainWindows(), 0);
    for (std::size_t i = 0; i < links.size(); ++i) EXPECT_EQ(ReadBytes(links[i]), linksBefore[i]) << links[i];
    EXPECT_EQ(Changes(entryBefore, RegValues(kUninstallKey)), "") << "the uninstall entry";

    // The install as it was, for the tests after this one.
    for (const auto& [name, bytes] : installed) WriteBytes(P().installFolder + "\\" + name, bytes);
    for (std::size_t i = 0; i < links.size(); ++i) {
        linksBefore[i].pop_back();
        WriteBytes(links[i], linksBefore[i]);
    }
    SetRegText(kUninstallKey, "DisplayVersion", version);
}

TEST_F(SetupRun, UninstallerWithoutArgumentAsksFromTemporaryCopy) {
    // What an earlier uninstall's copy left where it could not mark itself
    // for removal (without an administrator's rights) goes with this one.
    const std::string temp = P().tempCopy.substr(0, P().tempCopy.rfind('\\') + 1);
    const std::string earlier = temp + "qdx-uninst-0badf00d";
    CreateDirectoryA(earlier.c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(earlier + "\\uninst.exe", {'o', 'l', 'd'}));
    const DWORD first = world->processes.Start(P().uninstaller);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(world->processes.WaitForExit(first), 0);
    EXPECT_FALSE(FolderExists(earlier));

    HWND box = nullptr;
    ASSERT_TRUE(qdxtest::WaitUntil(
        [&] { return (box = client::FindDialog(0, kConfirmCaption)) != nullptr && IsWindowVisible(box); }, 20000));
    const DWORD second = WindowProcess(box);
    world->processes.Track(second);
    EXPECT_NE(second, first);
    // The copy runs from a folder of its own, made new in the temporary folder.
    const std::string copy = ImagePath(second);
    world->p.tempCopy = copy;
    const std::string prefix = temp + "qdx-uninst-";
    EXPECT_EQ(lstrcmpiA(copy.substr(0, prefix.size()).c_str(), prefix.c_str()), 0) << copy;
    EXPECT_EQ(copy.find('\\', prefix.size()), copy.size() - std::strlen("\\uninst.exe")) << copy;
    EXPECT_EQ(ReadBytes(copy), ReadBytes(P().uninstaller));
    EXPECT_EQ(client::WindowText(GetWindow(box, GW_OWNER)), kProgressCaption);
    Press(box, IDNO);
    EXPECT_EQ(world->processes.WaitForExit(second), 0);
    // No: everything stays.
    EXPECT_TRUE(FileExists(P().desktopLink));
    EXPECT_TRUE(FileExists(P().programLink));
    EXPECT_TRUE(qdxtest::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // Left in the temporary folder: the copy's folder alone, which the system's
    // next start removes (the copy first, then the folder, then empty).
    const std::string copyFolder = copy.substr(0, copy.rfind('\\'));
    EXPECT_EQ(CopyFolders(temp), std::vector<std::string>{copyFolder});
    EXPECT_EQ(Changes({{"uninst.exe", ReadBytes(P().uninstaller)}}, FolderFiles(copyFolder)), "");
    const std::vector<std::string> removals = RemovalsAtRestart();
    const auto marked = std::find(removals.begin(), removals.end(), copy);
    ASSERT_NE(marked, removals.end()) << "the copy is not marked for removal";
    ASSERT_NE(marked + 1, removals.end());
    EXPECT_EQ(marked[1], copyFolder);
}

TEST_F(SetupRun, UninstallerWithArgumentRemovesShortcutsAndEntryOnly) {
    DeleteFileA(P().tempCopy.c_str());
    const DWORD pid = world->processes.Start(P().uninstaller, " anything");
    HWND box = WaitForDialog(pid, kConfirmCaption);
    ASSERT_NE(box, nullptr);
    Press(box, IDYES);
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    EXPECT_FALSE(FileExists(P().tempCopy));

    EXPECT_FALSE(FileExists(P().desktopLink));
    EXPECT_FALSE(FileExists(P().programLink));
    EXPECT_FALSE(FileExists(P().helpLink));
    EXPECT_FALSE(FolderExists(P().group));
    EXPECT_FALSE(qdxtest::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // The files, the logs folder, the settings and so the maker folder stay.
    for (const std::string& f : {P().program, P().help, P().uninstaller}) EXPECT_TRUE(FileExists(f)) << f;
    EXPECT_TRUE(FolderExists(P().logs));
    EXPECT_TRUE(FolderExists(P().maker));
    EXPECT_EQ(RegText("Software\\Tallowind\\QDXRemote\\Folders", "ProgramFiles"), P().installFolder);
    // The uninstaller run where it was installed is no copy: it stays after a restart too.
    for (const std::string& removal : RemovalsAtRestart())
        EXPECT_NE(lstrcmpiA(removal.c_str(), P().uninstaller.c_str()), 0) << "marked for removal: " << removal;
}

// A disk that fills up during the install, made by the file-size limit its
// test entry runs under (no file can grow to the program's size): the write
// error names the file and the system's reason, and the previous install
// stays as it was.
class SetupFullDisk : public SetupRun {};

TEST_F(SetupFullDisk, WriteFailureLeavesTheInstallAsItWas) {
    if (!std::getenv("QDX_FILE_SIZE_LIMIT_KB")) GTEST_SKIP() << "runs in its own test entry, under file_size_limit.sh";
    // A previous install of small files: the limit keeps this process from
    // writing anything of the package's size.
    CreateDirectoryA(P().maker.c_str(), nullptr);
    CreateDirectoryA(P().installFolder.c_str(), nullptr);
    for (const std::string& f : {P().program, P().help, P().uninstaller}) ASSERT_TRUE(WriteBytes(f, {'o', 'l', 'd'}));
    const std::map<std::string, Bytes> before = FolderFiles(P().installFolder);

    HWND progress = nullptr;
    const DWORD pid = AcceptLicence(world->processes.Start(FullPath(".\\qdxsetup.exe")), &progress);
    ASSERT_NE(pid, 0u);
    std::string text;
    AnswerInstallError(pid, progress, &text);
    EXPECT_NE(text.find("The file " + P().program + " could not be written."), std::string::npos) << text;
    EXPECT_EQ(world->processes.WaitForExit(pid), 0);
    EXPECT_EQ(Changes(before, FolderFiles(P().installFolder)), "");
    EXPECT_EQ(client::CountMainWindows(), 0);
    EXPECT_FALSE(qdxtest::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

}  // namespace
