// File input and output of the compiler: whole files read with every failure
// reported as a reason, and outputs written under temporary names and renamed
// into place only when all of them were written.
#ifndef QDX_HELPC_FILEIO_H
#define QDX_HELPC_FILEIO_H

#include <string>
#include <vector>

namespace helpc {

// Reads a regular file whole. A directory, a device or a pipe is refused
// before reading (a pipe or /dev/zero would never end), and a read error is a
// failure rather than a short text. On failure `why` says what went wrong.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& why);

struct OutputFile {
    std::string path;
    std::string bytes;
};

// Writes every file as "path.tmp", then renames each into place. When any
// write fails, no temporary file is left and no output is replaced;
// `failedPath` and `why` name the file and the reason. (A failed rename after
// the first leaves the earlier files renamed; that only happens when the
// folder itself breaks.)
bool WriteFilesInPlace(const std::vector<OutputFile>& files, std::string& failedPath,
                       std::string& why);

// Removes `path` when it is a regular file (or a link to one); a folder of
// that name is left alone.
void RemoveFileIfPresent(const std::string& path);

}  // namespace helpc

#endif
