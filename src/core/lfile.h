// Path operations on fixed 260-character buffers. Both "\" and "/" separate
// path components when splitting; joining writes "\". Pure text work: no file
// is touched and nothing can fail.
#pragma once

#include "core/text.h"

class LFile {
public:
    using PathBuffer = char[qdx::kTextSize];

    // The part of path before its last separator; empty when there is none.
    static void _GetFolderFromPath(PathBuffer& out, const char* path) noexcept;
    // The part of path after its last separator (at most 259 characters).
    static void _GetFileFromPath(PathBuffer& out, const char* path) noexcept;
    // The last component without its extension; a name whose only dot is its
    // first character (".profile") stays whole.
    static void _GetFileTitleFromPath(PathBuffer& out, const char* path) noexcept;
    // Appends name to folder in place with one separator between them. A
    // folder of 259 characters is left alone; the result is cut at 259.
    static void FilePathCat(PathBuffer& folder, const char* name) noexcept;

    static bool IsSeparator(char c) noexcept { return c == '\\' || c == '/'; }
};
