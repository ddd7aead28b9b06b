// Install and data folders, desktop and Start-menu folders and shortcut files,
// against Wine's real registry, file system and shell link object. Every
// registry value changed here is put back and every folder made is removed.
#include <windows.h>
#include <aclapi.h>
#include <objidl.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings.h"
#include "setup/folderaccess.h"
#include "setup/folders.h"
#include "files.h"
#include "registry.h"

using qdxtest::FileExists;
using qdxtest::FolderExists;
using qdxtest::RegValueGuard;
using qdxtest::ShortcutTarget;
using qdxtest::TempFolder;

namespace {

const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kFoldersSection[] = "Software\\Tallowind\\QDXRemote\\Folders";

std::string ProgramFilesDir() {
    char text[MAX_PATH] = {};
    DWORD size = sizeof text;
    RegGetValueA(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

// Removes, at the end, each folder of a chain that did not exist at the start
// (deepest first; only empty folders go).
class FolderChainGuard {
public:
    explicit FolderChainGuard(std::vector<std::string> chain) : chain_(std::move(chain)) {
        for (const auto& f : chain_) existed_.push_back(FolderExists(f));
    }
    ~FolderChainGuard() {
        for (size_t i = chain_.size(); i-- > 0;)
            if (!existed_[i]) RemoveDirectoryA(chain_[i].c_str());
    }

private:
    std::vector<std::string> chain_;
    std::vector<bool> existed_;
};

struct AllowedEntry {
    std::string account;  // string form of the SID
    DWORD mask;
    BYTE flags;
};

// The allowed entries of a file's or folder's access list, read back from the system.
std::vector<AllowedEntry> AllowedEntries(const std::string& path) {
    std::vector<AllowedEntry> entries;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return entries;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        char* sidText = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sidText);
        entries.push_back({sidText ? sidText : "", ace->Mask, header->AceFlags});
        LocalFree(sidText);
    }
    LocalFree(sd);
    return entries;
}

// Rights that let someone replace, delete or re-permission what they do not own.
constexpr DWORD kDangerousRights = GENERIC_ALL | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE |
                                   FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER;

void ExpectEveryoneCannotWrite(const std::string& path) {
    for (const auto& e : AllowedEntries(path)) {
        if (e.account == "S-1-1-0") {
            EXPECT_EQ(e.mask & kDangerousRights, 0u) << path << " mask " << std::hex << e.mask;
        }
    }
}

std::string Text(const char (&buffer)[qdx::kTextSize]) { return std::string(buffer); }

TEST(InstallFolder, UnderProgramFilesWithDefaultSecurity) {
    const std::string base = ProgramFilesDir();
    ASSERT_FALSE(base.empty());
    const std::string maker = base + "\\Tallowind";
    const std::string product = maker + "\\QDXRemote";
    FolderChainGuard cleanup({maker, product});

    char out[qdx::kTextSize];
    GetInstallProgramFilesPath(out);
    EXPECT_EQ(Text(out), product);
    EXPECT_TRUE(FolderExists(product));
    ExpectEveryoneCannotWrite(product);
}

// What a test stores in a registry value: text, nothing, or a number.
const std::string kMissing = "(missing)", kNumber = "(number)";

void Store(RegValueGuard& value, const std::string& stored) {
    const DWORD number = 5;
    if (stored == kMissing) value.Remove();
    else if (stored == kNumber) value.Set(REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    else value.SetText(stored);
}

// A Program Files location that is missing, not text, or so long that it
// leaves no room for the rest (200 characters or more): the default folder.
TEST(InstallFolder, DefaultFolderWhenProgramFilesDirIsUnusable) {
    RegValueGuard programFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
    ASSERT_TRUE(programFiles.Existed());
    FolderChainGuard cleanup({"C:\\QDX Remote Control"});
    for (const std::string& value : {kMissing, kNumber, "C:\\" + std::string(250, 'p')}) {
        SCOPED_TRACE(value);
        Store(programFiles, value);
        char out[qdx::kTextSize];
        GetInstallProgramFilesPath(out);
        EXPECT_EQ(Text(out), "C:\\QDX Remote Control");
        EXPECT_TRUE(FolderExists(out));
        ExpectEveryoneCannotWrite(out);
    }
}

// The list the Logs folder gets, as built: Wine keeps only Unix permission
// bits for files, so the exact entries are checked here and the effect on a
// real folder below.
TEST(DataFolders, LogsAccessListLetsEveryoneAddAndWriteButNotDeleteOrRepermission) {
    LogsFolderAccess access;
    ACL* acl = access.Acl();
    ASSERT_NE(acl, nullptr);
    std::vector<AllowedEntry> entries;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&header)));
        ASSERT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        char* sidText = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sidText);
        entries.push_back({sidText ? sidText : "", ace->Mask, header->AceFlags});
        LocalFree(sidText);
    }
    const BYTE inheritAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].account, "S-1-1-0");
    EXPECT_EQ(entries[0].mask, static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE));
    EXPECT_EQ(entries[0].mask & (DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL), 0u);
    EXPECT_TRUE(entries[0].mask & FILE_ADD_FILE);
    EXPECT_TRUE(entries[0].mask & FILE_APPEND_DATA);
    EXPECT_EQ(entries[1].account, "S-1-5-32-544");  // administrators
    EXPECT_EQ(entries[1].mask, static_cast<DWORD>(FILE_ALL_ACCESS));
    EXPECT_EQ(entries[2].account, "S-1-5-18");  // the system
    for (const auto& e : entries) EXPECT_EQ(e.flags, inheritAll) << e.account;
}

TEST(DataFolders, LogsFolderIsWritableForEveryoneOtherFoldersAreNot) {
    qdxtest::ProductKeyGuard product;
    RegValueGuard logsValue(HKEY_LOCAL_MACHINE, kFoldersSection, "Logs");
    RegValueGuard dataValue(HKEY_LOCAL_MACHINE, kFoldersSection, "Data");
    TempFolder install("install");

    CreateDataFolder(install.Path().c_str(), "Logs");
    CreateDataFolder(install.Path().c_str(), "Data");
    const std::string logs = install / "Logs";
    ASSERT_TRUE(FolderExists(logs));
    ASSERT_TRUE(FolderExists(install / "Data"));

    char recorded[qdx::kTextSize];
    ReadSetting(kSectionFolders, kFolderLogs, "", recorded);
    EXPECT_EQ(Text(recorded), logs);
    ReadSetting(kSectionFolders, "Data", "", recorded);
    EXPECT_EQ(Text(recorded), install / "Data");

    bool everyoneAdds = false;
    for (const auto& e : AllowedEntries(logs))
        if (e.account == "S-1-1-0" && (e.mask & FILE_ADD_FILE) && (e.mask & FILE_WRITE_DATA)) everyoneAdds = true;
    EXPECT_TRUE(everyoneAdds) << "the Logs folder must be writable for every user";
    ExpectEveryoneCannotWrite(install / "Data");  // other data folders: default security
    ExpectEveryoneCannotWrite(install.Path());
}

TEST(DataFolders, RecordedFolderOrInstallFolderFallback) {
    qdxtest::ProductKeyGuard product;
    RegValueGuard logsValue(HKEY_LOCAL_MACHINE, kFoldersSection, "Logs");
    const std::string maker = ProgramFilesDir() + "\\Tallowind";
    const std::string installFolder = maker + "\\QDXRemote";
    const bool logsExisted = FolderExists(installFolder + "\\Logs");
    FolderChainGuard cleanup({maker, installFolder});

    logsValue.SetText("D:\\Somewhere\\Logs");
    char out[qdx::kTextSize];
    GetDataFolder("Logs", out);
    EXPECT_EQ(Text(out), "D:\\Somewhere\\Logs");

    logsValue.SetText("");  // empty counts as not recorded
    GetDataFolder("Logs", out);
    EXPECT_EQ(Text(out), installFolder + "\\Logs");

    logsValue.Remove();
    GetDataFolder("Logs", out);
    EXPECT_EQ(Text(out), installFolder + "\\Logs");
    EXPECT_TRUE(FolderExists(installFolder));
    EXPECT_EQ(FolderExists(out), logsExisted);  // the Logs folder itself is not made here
}

class ShellFolders : public ::testing::Test {
protected:
    RegValueGuard desktop_{HKEY_CURRENT_USER, kShellFolders, "Desktop"};
    RegValueGuard commonDesktop_{HKEY_LOCAL_MACHINE, kShellFolders, "Common Desktop"};
    RegValueGuard programs_{HKEY_CURRENT_USER, kShellFolders, "Programs"};
    RegValueGuard commonPrograms_{HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs"};
};

TEST_F(ShellFolders, DesktopShortcutPrefersTheAllUsersDesktop) {
    const struct {
        std::string desktop, commonDesktop;
        const char* path;
    } cases[] = {
        {"C:\\User\\Desktop", "C:\\Public\\Desktop", "C:\\Public\\Desktop\\QDX Remote Control.lnk"},
        {"C:\\User\\Desktop", kMissing, "C:\\User\\Desktop\\QDX Remote Control.lnk"},
        {kMissing, kMissing, "c:\\Windows\\Desktop\\QDX Remote Control.lnk"},
        // No room for the file name behind a desktop folder of 250 characters:
        // no path at all rather than a cut one that names another file.
        {kMissing, "C:\\" + std::string(250, 'd'), ""},
        {kNumber, kMissing, "c:\\Windows\\Desktop\\QDX Remote Control.lnk"},  // not text: does not count
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Store(desktop_, c.desktop);
        Store(commonDesktop_, c.commonDesktop);
        char out[qdx::kTextSize];
        GetDesktopShortcutPath(out);
        EXPECT_EQ(Text(out), c.path);
    }
}

TEST_F(ShellFolders, WithoutProgramsValuesNoStartMenuFolderIsTouched) {
    // A group folder with a shortcut where the user's programs folder was.
    TempFolder programs("programs");
    const std::string group = programs / "QDX Remote Control";
    CreateDirectoryA(group.c_str(), nullptr);
    const std::string existing = group + "\\QDX Remote Control.lnk";
    CreateShellLink(existing.c_str(), "C:\\Program Files\\x.exe");
    ASSERT_TRUE(FileExists(existing));

    programs_.Remove();
    commonPrograms_.Remove();
    char out[qdx::kTextSize];
    EXPECT_FALSE(GetStartMenuGroupFolder(out));
    EXPECT_STREQ(out, "");
    CreateStartMenuShortcut("C:\\y.exe", "Other");
    DeleteStartMenuShortcut("QDX Remote Control");
    RemoveStartMenuGroup();
    EXPECT_TRUE(FileExists(existing));
    EXPECT_FALSE(FileExists(group + "\\Other.lnk"));
}

TEST_F(ShellFolders, StartMenuShortcutsInTheGroupFolder) {
    TempFolder user("userprograms");
    TempFolder common("commonprograms");
    const std::string commonPrograms = common / "Programs";  // made by the group lookup
    programs_.SetText(user.Path());
    commonPrograms_.SetText(commonPrograms);

    char out[qdx::kTextSize];
    ASSERT_TRUE(GetStartMenuGroupFolder(out));
    const std::string group = commonPrograms + "\\QDX Remote Control";
    EXPECT_EQ(Text(out), group);  // the all-users value overrides the user's
    EXPECT_TRUE(FolderExists(commonPrograms));
    EXPECT_FALSE(FolderExists(group));

    CreateStartMenuShortcut("C:\\Program Files\\Tallowind\\QDXRemote\\qdxremote.exe", "QDX Remote Control");
    CreateStartMenuShortcut("C:\\Program Files\\Tallowind\\QDXRemote\\qdxremote.hlp", "QDX Remote Control Help");
    EXPECT_EQ(ShortcutTarget(group + "\\QDX Remote Control.lnk"), "C:\\Program Files\\Tallowind\\QDXRemote\\qdxremote.exe");
    EXPECT_EQ(ShortcutTarget(group + "\\QDX Remote Control Help.lnk"),
              "C:\\Program Files\\Tallowind\\QDXRemote\\qdxremote.hlp");

    // A group folder holding something else stays after the shortcuts go.
    const std::string other = group + "\\readme.txt";
    CloseHandle(CreateFileA(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DeleteStartMenuShortcut("QDX Remote Control");
    DeleteStartMenuShortcut("QDX Remote Control Help");
    EXPECT_FALSE(FileExists(group + "\\QDX Remote Control.lnk"));
    EXPECT_FALSE(FileExists(group + "\\QDX Remote Control Help.lnk"));
    RemoveStartMenuGroup();
    EXPECT_TRUE(FolderExists(group));
    DeleteFileA(other.c_str());
    RemoveStartMenuGroup();
    EXPECT_FALSE(FolderExists(group));
}

TEST(ShellLink, SavedLinkIsReadBackAndOverwritten) {
    TempFolder folder("links");
    const std::string link = folder / "QDX Remote Control.lnk";
    CreateShellLink(link.c_str(), "C:\\QDX Remote Control\\qdxremote.exe");
    EXPECT_EQ(ShortcutTarget(link), "C:\\QDX Remote Control\\qdxremote.exe");
    CreateShellLink(link.c_str(), "C:\\Other\\uninst.exe");
    EXPECT_EQ(ShortcutTarget(link), "C:\\Other\\uninst.exe");

    // COM already initialised by the caller stays initialised afterwards.
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CreateShellLink(link.c_str(), "C:\\Third\\a.exe");
    IShellLinkA* probe = nullptr;
    EXPECT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           reinterpret_cast<void**>(&probe))));
    if (probe) probe->Release();
    CoUninitialize();
    EXPECT_EQ(ShortcutTarget(link), "C:\\Third\\a.exe");
}

}  // namespace
