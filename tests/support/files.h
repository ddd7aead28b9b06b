// Files for the Windows tests: a temporary folder that goes with its content,
// reading a file that another process may still be writing, and shortcuts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qdxtest {

// A folder under the temporary folder that did not exist before: its path.
// (Wine gives process ids out again, so the id alone does not make a name new.)
std::string MakeFreshFolder(const char* tag);

// A fresh folder under the temporary folder, removed with its content at the end.
class TempFolder {
public:
    explicit TempFolder(const char* tag) : path_(MakeFreshFolder(tag)) {}
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    static void RemoveTree(const std::string& path);

private:
    std::string path_;
};

bool FolderExists(const std::string& path);
bool FileExists(const std::string& path);

// The target of a shortcut (.lnk) file, read with the shell's link object;
// empty when it cannot be read.
std::string ShortcutTarget(const std::string& link);

// The whole file (empty when it cannot be opened), read without keeping
// others from writing or deleting it meanwhile.
std::string ReadWholeFile(const std::string& path);

using Bytes = std::vector<unsigned char>;
// The same as bytes.
inline Bytes ReadBytes(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

// A path relative to the working folder made whole.
inline std::string FullPath(const char* relative) {
    char full[MAX_PATH];
    ::GetFullPathNameA(relative, sizeof full, full, nullptr);
    return full;
}

}  // namespace qdxtest
