#include "setup/extract.h"

#include "setup/marker.h"

namespace {

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

// One run of the extraction (ExtractPackage).
class PackageExtractor {
public:
    PackageExtractor(LProgressDialog& progress, const char* installFolder, HANDLE package,
                     const SetupTrailer& trailer, const SignatureFields& program, StagedFiles& staged)
        : progress_(progress), installFolder_(installFolder), package_(package), trailer_(trailer),
          program_(program), staged_(staged), accumulator_(trailer.checksum), total_(SetupPayloadSize(trailer)) {}

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
        progress_.SetText(row.fileName, 1);
        char target[qdx::kTextSize];
        if (!SetupTargetPath(installFolder_, row, target))
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
            progress_.SetProgress(static_cast<double>(done_) / static_cast<double>(total_));
            left -= static_cast<std::int32_t>(got);
            if (progress_.PumpMessages()) return Extraction::kCancelled;
        }
        // The program carries NO_MARKER before it replaces the installed one,
        // so that a program that could not be replaced is never touched. A
        // signed program stays as signed: it has no marker behind its image.
        unsigned char marker[kMarkerSize];
        WriteLE32(marker, NO_MARKER);
        if (row.kind == SetupFileKind::kProgram && !program_.tableSize && !WriteAll(out, marker, sizeof marker))
            return WriteFailed(target, ::GetLastError());
        if (progress_.PumpMessages()) return Extraction::kCancelled;
        return Extraction::kDone;
    }

    // A failed write ends the run; the staged files go before the message
    // shows, so the previous install stands whatever the user does then.
    Extraction WriteFailed(const char* file, DWORD error) {
        staged_.Discard();
        ShowWriteError(progress_.Window(), file, error);
        return Extraction::kWriteFailed;
    }

    LProgressDialog& progress_;
    const char* installFolder_;
    HANDLE package_;
    const SetupTrailer& trailer_;
    const SignatureFields& program_;
    StagedFiles& staged_;
    std::uint32_t accumulator_;
    const std::uint64_t total_;
    std::uint64_t done_ = 0;
};

}  // namespace

HANDLE StagedFiles::Create(const char* target, bool mustReplace) {
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

void StagedFiles::Discard() {
    for (std::size_t i = 0; i < count_; ++i) {
        files_[i].file.Reset();
        ::DeleteFileA(files_[i].staged);
    }
    count_ = 0;
}

const char* StagedFiles::Commit() {
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

bool StagedFiles::Replace(File& f) {
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

Extraction ExtractPackage(LProgressDialog& progress, const char* installFolder, HANDLE package,
                          const SetupTrailer& trailer, const SignatureFields& program, StagedFiles& staged) {
    return PackageExtractor(progress, installFolder, package, trailer, program, staged).Run();
}

void WriteUninstaller(const char* program, const char* uninstaller) {
    char staged[qdx::kTextSize];
    if (qdx::FormatText(staged, sizeof staged, "%s%s", uninstaller, kStagingSuffix) < 0) return;
    ::DeleteFileA(staged);  // whatever stood there, a link included, is not written through
    if (::CopyFileA(program, staged, TRUE) && AppendMarker(staged, UNINSTALL_MARKER) &&
        ::MoveFileExA(staged, uninstaller, MOVEFILE_REPLACE_EXISTING))
        return;
    ::DeleteFileA(staged);
}
