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
// names. Until Commit, the destructor removes every staged file: a run that
// fails to write, is cancelled or fails the checksum leaves the previous
// install as it was.
class StagedFiles {
public:
    StagedFiles() = default;
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;
    ~StagedFiles() { Discard(); }

    // Creates the staging file for target; false (last error set) when it
    // cannot be made or its name does not fit.
    bool Create(const char* target, qdx::UniqueFile& out) {
        if (count_ == kSetupFileCount) return false;
        File& f = files_[count_];
        if (qdx::FormatText(f.staged, sizeof f.staged, "%s%s", target, kStagingSuffix) < 0) {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        qdx::CopyText(f.target, target);
        out.Reset(::CreateFileA(f.staged, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return false;
        ++count_;  // from here on it is removed unless committed
        return true;
    }
    const char* LastStaged() const { return count_ ? files_[count_ - 1].staged : ""; }

    void Discard() {
        for (std::size_t i = 0; i < count_; ++i) ::DeleteFileA(files_[i].staged);
        count_ = 0;
    }

    // Puts every staged file in place of its target. A target that cannot be
    // replaced (a program still running, as a client that did not close in
    // time) keeps its previous content: the staged file is removed, nothing is
    // reported and the install goes on, as for any file that cannot be
    // replaced.
    void Commit() {
        for (std::size_t i = 0; i < count_; ++i)
            if (!::MoveFileExA(files_[i].staged, files_[i].target, MOVEFILE_REPLACE_EXISTING))
                ::DeleteFileA(files_[i].staged);
        count_ = 0;
    }

private:
    struct File {
        char target[qdx::kTextSize];
        char staged[qdx::kTextSize];
    };
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
    if (::CopyFileA(program, staged, FALSE) && AppendMarker(staged, UNINSTALL_MARKER) &&
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
        qdx::UniqueFile out;
        if (!staged_.Create(target, out)) return WriteFailed(target, ::GetLastError());
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
            if (!WriteAll(out.Get(), buffer, got)) {
                const DWORD error = ::GetLastError();
                out.Reset();  // closed, so that it can be removed
                return WriteFailed(target, error);
            }
            done_ += got;
            install_.SetProgress(static_cast<double>(done_) / static_cast<double>(total_));
            left -= static_cast<std::int32_t>(got);
            if (install_.PumpMessages()) return Extraction::kCancelled;
        }
        out.Reset();
        // The program carries NO_MARKER before it replaces the installed one,
        // so that a program that could not be replaced is never touched. A
        // signed program stays as signed: it has no marker behind its image.
        if (row.kind == SetupFileKind::kProgram && !program_.tableSize &&
            !AppendMarker(staged_.LastStaged(), NO_MARKER))
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
// offered, as the product has neither.
void WriteUninstallEntry(const char* installFolder, const char* program, const char* uninstallerPath) {
    qdx::UniqueRegKey entry;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, const_cast<char*>(""),
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, entry.Put(),
                          &disposition) != ERROR_SUCCESS)
        return;
    // An entry that exists keeps its values.
    if (disposition != REG_CREATED_NEW_KEY) return;
    SetRegistryText(entry.Get(), "DisplayName", kUninstallDisplayName);
    // The system runs this value as a command line, and the path has spaces
    // ("Program Files"): unquoted, it would start "C:\Program" or the like.
    char command[qdx::kTextSize + 2];
    if (qdx::FormatText(command, sizeof command, "\"%s\"", uninstallerPath) >= 0)
        SetRegistryText(entry.Get(), "UninstallString", command);
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

InstallDialog::InstallDialog() noexcept : LProgressDialog(kSetupCaption) {
    GetInstallProgramFilesPath(szInstallFolder);
    WriteSetting(kSectionFolders, kFolderProgramFiles, szInstallFolder);
    WriteSetting(kSectionFolders, kFolderDataFiles, szInstallFolder);
}

void InstallDialog::CreateDataFolder(const char* name) {
    ::CreateDataFolder(szInstallFolder, name);
}

bool InstallDialog::MainFunction() {
    SetText("Installing QDX Remote Control", 0);
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
    staged.Commit();
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

    StartProgram(program, nullptr);
}
