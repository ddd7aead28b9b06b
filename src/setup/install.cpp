#include "setup/install.h"

#include "common/handles.h"
#include "core/helpfiles.h"
#include "core/lfile.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "setup/folders.h"
#include "setup/helpsystem.h"
#include "setup/marker.h"

namespace {

constexpr char kUninstallDisplayName[] = "QDX Remote Control Uninstall";
constexpr char kPublisher[] = "Tallowind";
constexpr char kWriteErrorText[] =
    "The file %s could not be written.\n\n%s\n\nThe previous installation was left unchanged.";
constexpr char kInUseText[] =
    "The file %s is in use.\n\nClose QDX Remote Control and run the setup again.\n\n"
    "The previous installation was left unchanged.";
constexpr char kWaitingText[] = "Waiting for QDX Remote Control to close";
constexpr DWORD kClientPollMs = 100;
// How long a client whose window has gone is given to end.
constexpr DWORD kClientExitMs = 5000;
constexpr DWORD kChunkSize = 4096;
// Files are written under their own name with this behind it, beside the file
// they will replace, so that the rename that replaces it stays in one folder.
constexpr char kStagingSuffix[] = ".new";

// "Install Error" for a file that could not be written, naming it and the
// system's reason (error).
void ShowWriteError(HWND owner, const char* file, DWORD error) {
    char reason[256] = "";
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                     reason, sizeof reason, nullptr);
    if (n == 0) {
        qdx::FormatText(reason, sizeof reason, "System error %lu.", static_cast<unsigned long>(error));
    } else {
        std::size_t end = lstrlenA(reason);
        while (end > 0 && (reason[end - 1] == '\r' || reason[end - 1] == '\n' || reason[end - 1] == ' '))
            reason[--end] = '\0';
    }
    char text[qdx::kTextSize + sizeof reason + 64];
    qdx::FormatText(text, sizeof text, kWriteErrorText, file, reason);
    ::MessageBoxA(owner, text, kInstallErrorCaption, MB_ICONWARNING);
}

// The packaged files of one run, written beside their targets under staging
// names. Each staged file is made new (whatever stood under its name, a link
// included, is removed first rather than written through) and stays open
// until it replaces its target, which it does by its handle where the system
// allows it. Until Commit, the destructor removes every staged file: a run
// that fails to write, is cancelled or fails the checksum leaves the previous
// install as it was.
class StagedFiles {
public:
    StagedFiles() = default;
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;
    ~StagedFiles() { Discard(); }

    // Creates the staging file for target and returns its handle (this
    // object's); null (last error set) when it cannot be made or its name
    // does not fit. mustReplace: the install fails unless it replaces target.
    HANDLE Create(const char* target, bool mustReplace) {
        if (count_ == kSetupFileCount) return nullptr;
        File& f = files_[count_];
        if (qdx::FormatText(f.staged, sizeof f.staged, "%s%s", target, kStagingSuffix) < 0) {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        qdx::CopyText(f.target, target);
        f.mustReplace = mustReplace;
        // A file left by an earlier run, or planted, goes: CREATE_NEW then
        // fails on anything that took its place meanwhile.
        ::DeleteFileA(f.staged);
        f.file.Reset(::CreateFileA(f.staged, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (!f.file) return nullptr;
        ++count_;  // from here on it is removed unless committed
        return f.file.Get();
    }

    void Discard() {
        for (std::size_t i = 0; i < count_; ++i) {
            files_[i].file.Reset();
            ::DeleteFileA(files_[i].staged);
        }
        count_ = 0;
    }

    // Puts every staged file in place of its target; the target of the first
    // file that must replace its own and cannot (a program still running),
    // with nothing replaced, or null. Files are committed in table order, the
    // program first. Any other target that cannot be replaced (a help file
    // held open by a reader) keeps its previous content and the rest goes on.
    const char* Commit() {
        for (std::size_t i = 0; i < count_; ++i) {
            File& f = files_[i];
            if (Replace(f)) continue;
            ::DeleteFileA(f.staged);
            if (f.mustReplace) {
                Discard();
                return f.target;
            }
        }
        count_ = 0;
        return nullptr;
    }

private:
    struct File {
        char target[qdx::kTextSize];
        char staged[qdx::kTextSize];
        qdx::UniqueFile file;
        bool mustReplace = false;
    };

    // Renames the open staged file over its target, by its handle; by name
    // where the system cannot rename an open file. The handle is closed.
    static bool Replace(File& f) {
        constexpr char kNtPrefix[] = "\\??\\";
        union {
            FILE_RENAME_INFO info;
            unsigned char bytes[sizeof(FILE_RENAME_INFO) + (qdx::kTextSize + sizeof kNtPrefix) * sizeof(WCHAR)];
        } rename = {};
        rename.info.ReplaceIfExists = TRUE;
        for (std::size_t i = 0; kNtPrefix[i]; ++i) rename.info.FileName[i] = static_cast<WCHAR>(kNtPrefix[i]);
        const int n = ::MultiByteToWideChar(CP_ACP, 0, f.target, -1, rename.info.FileName + sizeof kNtPrefix - 1,
                                            qdx::kTextSize);
        rename.info.FileNameLength = static_cast<DWORD>((n + sizeof kNtPrefix - 2) * sizeof(WCHAR));
        const bool renamed = n > 0 && ::SetFileInformationByHandle(f.file.Get(), FileRenameInfo, &rename,
                                                                   sizeof rename);
        f.file.Reset();
        return renamed || ::MoveFileExA(f.staged, f.target, MOVEFILE_REPLACE_EXISTING);
    }

    File files_[kSetupFileCount];
    std::size_t count_ = 0;
};

// Writes all n bytes; false (last error set) otherwise.
bool WriteAll(HANDLE file, const unsigned char* bytes, DWORD n) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes, n, &written, nullptr)) return false;
    if (written != n) {
        ::SetLastError(ERROR_DISK_FULL);  // a short write on a file: no room for the rest
        return false;
    }
    return true;
}

// The uninstaller: a copy of the installed program with UNINSTALL_MARKER,
// staged and renamed like the packaged files, so that a copy that cannot be
// completed never stands as a plain client under the uninstaller's name. On
// failure the previous uninstaller, if any, stays.
void WriteUninstaller(const char* program, const char* uninstaller) {
    char staged[qdx::kTextSize];
    if (qdx::FormatText(staged, sizeof staged, "%s%s", uninstaller, kStagingSuffix) < 0) return;
    ::DeleteFileA(staged);  // whatever stood there, a link included, is not written through
    if (::CopyFileA(program, staged, TRUE) && AppendMarker(staged, UNINSTALL_MARKER) &&
        ::MoveFileExA(staged, uninstaller, MOVEFILE_REPLACE_EXISTING))
        return;
    ::DeleteFileA(staged);
}

enum class Extraction {
    kDone,         // every file staged, the checksum matched
    kCancelled,    // the user pressed Cancel
    kDamaged,      // the checksum failed, or the package could not be read to its end
    kWriteFailed,  // a file could not be written; the message was shown
};

// One run of the extraction: the packaged files copied into their staging
// files in table order, the checksum tested on the way, the progress window
// kept up to date.
class PackageExtractor {
public:
    PackageExtractor(InstallDialog& install, HANDLE package, const SetupTrailer& trailer,
                     const SignatureFields& program, StagedFiles& staged)
        : install_(install), package_(package), trailer_(trailer), program_(program), staged_(staged),
          accumulator_(trailer.checksum), total_(SetupPayloadSize(trailer)) {}

    Extraction Run() {
        for (std::size_t i = 0; i < kSetupFileCount; ++i) {
            if (trailer_.sizes[i] <= 0) continue;
            const Extraction result = ExtractFile(SetupFileTable[i], trailer_.sizes[i]);
            if (result != Extraction::kDone) return result;
        }
        return accumulator_ == 0 ? Extraction::kDone : Extraction::kDamaged;
    }

private:
    // Stages the next `size` bytes of the package as the file of `row`.
    Extraction ExtractFile(const SetupFileEntry& row, std::int32_t size) {
        install_.SetText(row.fileName, 1);
        char target[qdx::kTextSize];
        if (!SetupTargetPath(install_.InstallFolder(), row, target))
            return WriteFailed(row.fileName, ERROR_FILENAME_EXCED_RANGE);
        const HANDLE out = staged_.Create(target, row.kind == SetupFileKind::kProgram);
        if (!out) return WriteFailed(target, ::GetLastError());
        for (std::int32_t left = size; left > 0;) {
            unsigned char buffer[kChunkSize];
            const DWORD want = left < static_cast<std::int32_t>(kChunkSize) ? static_cast<DWORD>(left) : kChunkSize;
            DWORD got = 0;
            // The sizes were checked against the package's length: a short
            // read means the package changed or cannot be read, and its bytes
            // can no longer be trusted.
            if (!::ReadFile(package_, buffer, want, &got, nullptr) || got != want) return Extraction::kDamaged;
            // The program gets back its own header values wherever signing the package rewrote them.
            if (row.kind == SetupFileKind::kProgram) PutSignatureFields(program_, buffer, got, size - left);
            accumulator_ = SubtractFromChecksum(accumulator_, buffer, got);
            if (!WriteAll(out, buffer, got)) return WriteFailed(target, ::GetLastError());
            done_ += got;
            install_.SetProgress(static_cast<double>(done_) / static_cast<double>(total_));
            left -= static_cast<std::int32_t>(got);
            if (install_.PumpMessages()) return Extraction::kCancelled;
        }
        // The program carries NO_MARKER before it replaces the installed one,
        // so that a program that could not be replaced is never touched. A
        // signed program stays as signed: it has no marker behind its image.
        unsigned char marker[kMarkerSize];
        WriteLE32(marker, NO_MARKER);
        if (row.kind == SetupFileKind::kProgram && !program_.tableSize && !WriteAll(out, marker, sizeof marker))
            return WriteFailed(target, ::GetLastError());
        if (install_.PumpMessages()) return Extraction::kCancelled;
        return Extraction::kDone;
    }

    // A failed write ends the run; the staged files go before the message
    // shows, so the previous install stands whatever the user does then.
    Extraction WriteFailed(const char* file, DWORD error) {
        staged_.Discard();
        ShowWriteError(install_.Window(), file, error);
        return Extraction::kWriteFailed;
    }

    InstallDialog& install_;
    HANDLE package_;
    const SetupTrailer& trailer_;
    const SignatureFields& program_;
    StagedFiles& staged_;
    std::uint32_t accumulator_;
    const std::uint64_t total_;
    std::uint64_t done_ = 0;
};

// True when this process runs with an administrator's full token.
bool ProcessElevated() {
    qdx::UniqueHandle token;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()) &&
           ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

void SetRegistryText(HKEY key, const char* name, const char* text) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(lstrlenA(text) + 1));
}

void SetRegistryNumber(HKEY key, const char* name, DWORD value) {
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Bytes of a file, 0 when it is not there.
std::uint64_t FileBytes(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Kilobytes, rounded up, of the files the install leaves: the packaged files
// as they now stand in the install folder, and the uninstaller.
DWORD InstalledKilobytes(const char* installFolder, const char* uninstaller) {
    std::uint64_t bytes = FileBytes(uninstaller);
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        char target[qdx::kTextSize];
        if (SetupTargetPath(installFolder, SetupFileTable[i], target)) bytes += FileBytes(target);
    }
    const std::uint64_t kilobytes = (bytes + 1023) / 1024;
    return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes);
}

// The entry the system lists the product under, with what it shows of it:
// name, icon, version, publisher, place and size. Modify and Repair are not
// offered, as the product has neither. An entry that exists keeps its name and
// command (an administrator may have changed them); what describes this
// install is written anew.
void WriteUninstallEntry(const char* installFolder, const char* program, const char* uninstallerPath) {
    qdx::UniqueRegKey entry;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, const_cast<char*>(""),
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, entry.Put(),
                          &disposition) != ERROR_SUCCESS)
        return;
    if (disposition == REG_CREATED_NEW_KEY) {
        SetRegistryText(entry.Get(), "DisplayName", kUninstallDisplayName);
        // The system runs this value as a command line, and the path has spaces
        // ("Program Files"): unquoted, it would start "C:\Program" or the like.
        char command[qdx::kTextSize + 2];
        if (qdx::FormatText(command, sizeof command, "\"%s\"", uninstallerPath) >= 0)
            SetRegistryText(entry.Get(), "UninstallString", command);
    }
    SetRegistryText(entry.Get(), "DisplayIcon", program);
    SetRegistryText(entry.Get(), "DisplayVersion", QDX_VERSION_TEXT);
    SetRegistryText(entry.Get(), "Publisher", kPublisher);
    SetRegistryText(entry.Get(), "InstallLocation", installFolder);
    SetRegistryNumber(entry.Get(), "EstimatedSize", InstalledKilobytes(installFolder, uninstallerPath));
    SetRegistryNumber(entry.Get(), "NoModify", 1);
    SetRegistryNumber(entry.Get(), "NoRepair", 1);
}

}  // namespace

void StartProgram(const char* path, const char* arguments) {
    char commandLine[qdx::kTextSize + 32];
    if (qdx::FormatText(commandLine, sizeof commandLine, "\"%s\"%s", path, arguments ? arguments : "") < 0) return;
    ::WinExec(commandLine, SW_SHOWNORMAL);
}

void StartInstalledProgram(const char* path) {
    if (!ProcessElevated() || !StartThroughDesktopShell(path)) StartProgram(path, nullptr);
}

InstallDialog::InstallDialog() noexcept : LProgressDialog(kSetupCaption) {
    GetInstallProgramFilesPath(szInstallFolder);
    WriteSetting(kSectionFolders, kFolderProgramFiles, szInstallFolder);
    WriteSetting(kSectionFolders, kFolderDataFiles, szInstallFolder);
}

void InstallDialog::CreateDataFolder(const char* name) {
    ::CreateDataFolder(szInstallFolder, name);
}

bool InstallDialog::WaitForClientToClose() {
    if (clientWindow && ::IsWindow(clientWindow)) SetText(kWaitingText, 1);
    while (clientWindow && ::IsWindow(clientWindow)) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kClientPollMs, QS_ALLINPUT);
        if (PumpMessages()) return false;
    }
    // Its window gone, the process still stops its work and lets go of its
    // file; one that takes longer is found at the replace step.
    const DWORD start = ::GetTickCount();
    const HANDLE process = clientProcess.Get();
    while (process) {
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kClientExitMs) break;
        if (::MsgWaitForMultipleObjects(1, &process, FALSE, kClientExitMs - waited, QS_ALLINPUT) == WAIT_OBJECT_0)
            break;
        if (PumpMessages()) return false;
    }
    clientProcess.Reset();
    return true;
}

bool InstallDialog::MainFunction() {
    SetText("Installing QDX Remote Control", 0);
    if (!WaitForClientToClose()) return false;
    SetText("Software Licence Terms", 1);
    {
        LicenceTermsDlg page;
        if (!page.Open(hwnd, "LicenceTermsDlg")) return false;
    }
    CreateDataFolder(kFolderLogs);

    char packagePath[qdx::kTextSize];
    const DWORD n = ::GetModuleFileNameA(nullptr, packagePath, sizeof packagePath);
    if (n == 0 || n >= sizeof packagePath) return false;
    qdx::UniqueFile package;
    SetupTrailer trailer;
    SignatureFields program;
    switch (OpenSetupPackage(packagePath, package, trailer, program)) {
    case PackageOpen::kCannotOpen:
        return false;
    case PackageOpen::kDamaged:
        ::MessageBoxA(hwnd, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    case PackageOpen::kOk:
        break;
    }

    // Every file is written in full under its staging name first; the
    // installed files are replaced only once all of them are written and the
    // checksum matched.
    StagedFiles staged;
    const Extraction result = PackageExtractor(*this, package.Get(), trailer, program, staged).Run();
    package.Reset();
    if (result == Extraction::kCancelled || result == Extraction::kWriteFailed || PumpMessages())
        return false;  // the staged files go with `staged`
    if (result == Extraction::kDamaged) {
        staged.Discard();
        ::MessageBoxA(hwnd, kInstallErrorText, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    }
    if (const char* inUse = staged.Commit()) {
        char text[qdx::kTextSize + sizeof kInUseText];
        qdx::FormatText(text, sizeof text, kInUseText, inUse);
        ::MessageBoxA(hwnd, text, kInstallErrorCaption, MB_ICONWARNING);
        return false;
    }
    SetText("Finalizing", 1);
    FinishInstall(*this);
    return true;
}

bool LicenceTermsDlg::Agreed() const {
    return ::IsDlgButtonChecked(hwnd, IDC_LICENCE_AGREE) == BST_CHECKED;
}

bool LicenceTermsDlg::CmOk() {
    return Agreed();
}

void LicenceTermsDlg::EnableControls() {
    EnableControl(IDOK, Agreed() ? 1 : 0);
}

void FinishInstall(InstallDialog& install) {
    char program[qdx::kTextSize];
    qdx::CopyText(program, install.InstallFolder());
    LFile::FilePathCat(program, kProgramFileName);
    // The program got its NO_MARKER while it was extracted.

    CreateStartMenuShortcut(program, kProgramShortcutName);
    char desktopShortcut[qdx::kTextSize];
    GetDesktopShortcutPath(desktopShortcut);
    if (desktopShortcut[0]) CreateShellLink(desktopShortcut, program);

    char uninstaller[qdx::kTextSize];
    qdx::CopyText(uninstaller, install.InstallFolder());
    LFile::FilePathCat(uninstaller, kUninstallerFileName);
    WriteUninstaller(program, uninstaller);
    // The entry is the system's way to start the uninstaller: it is made only
    // when uninst.exe really is one.
    if (ReadRunModeMarker(uninstaller) == UNINSTALL_MARKER)
        WriteUninstallEntry(install.InstallFolder(), program, uninstaller);

    // The help shortcut leads to the help this system shows.
    char help[qdx::kTextSize];
    qdx::CopyText(help, install.InstallFolder());
    LFile::FilePathCat(help, HelpReaderInUse() == HelpReader::kBrowser ? kHelpContentsPage : kHelpFileName);
    CreateStartMenuShortcut(help, kHelpShortcutName);

    StartInstalledProgram(program);
}
