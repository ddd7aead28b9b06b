// Extraction and staging: the packaged files copied out of the setup package
// into staging files beside their targets, the checksum tested on the way, and
// put in place of the installed files only once every one is written; the
// uninstaller staged the same way.
#pragma once

#include <windows.h>

#include <cstddef>

#include "common/handles.h"
#include "core/package.h"
#include "core/peimage.h"
#include "core/text.h"
#include "ui/progress.h"

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
    HANDLE Create(const char* target, bool mustReplace);

    void Discard();

    // Puts every staged file in place of its target; the target of the first
    // file that must replace its own and cannot (a program still running),
    // with nothing replaced, or null. Files are committed in table order, the
    // program first. Any other target that cannot be replaced (a help file
    // held open by a reader) keeps its previous content and the rest goes on.
    const char* Commit();

private:
    struct File {
        char target[qdx::kTextSize];
        char staged[qdx::kTextSize];
        qdx::UniqueFile file;
        bool mustReplace = false;
    };

    // Renames the open staged file over its target, by its handle; by name
    // where the system cannot rename an open file. The handle is closed.
    static bool Replace(File& f);

    File files_[kSetupFileCount];
    std::size_t count_ = 0;
};

enum class Extraction {
    kDone,         // every file staged, the checksum matched
    kCancelled,    // the user pressed Cancel
    kDamaged,      // the checksum failed, or the package could not be read to its end
    kWriteFailed,  // a file could not be written; the message was shown
};

// One run of the extraction: the packaged files of trailer, read from package
// (at its start), copied into their staging files (SetupTargetPath under
// installFolder) in table order, the program with its own header values
// (program), the checksum tested on the way, progress kept up to date.
Extraction ExtractPackage(LProgressDialog& progress, const char* installFolder, HANDLE package,
                          const SetupTrailer& trailer, const SignatureFields& program, StagedFiles& staged);

// The uninstaller: a copy of the installed program with UNINSTALL_MARKER,
// staged and renamed like the packaged files, so that a copy that cannot be
// completed never stands as a plain client under the uninstaller's name. On
// failure the previous uninstaller, if any, stays.
void WriteUninstaller(const char* program, const char* uninstaller);
