#include "core/lfile.h"

#include <cstring>

namespace {
constexpr std::size_t kMaxPath = qdx::kTextSize - 1;  // characters a path may hold
}

void LFile::_GetFolderFromPath(PathBuffer& out, const char* path) noexcept {
    std::size_t lastSeparator = 0;
    std::size_t i = 0;
    if (path) {
        for (; i < qdx::kTextSize && path[i] != '\0'; ++i) {
            out[i] = path[i];
            if (IsSeparator(path[i])) lastSeparator = i;
        }
    }
    out[lastSeparator] = '\0';
}

void LFile::_GetFileFromPath(PathBuffer& out, const char* path) noexcept {
    std::size_t pos = 0;
    if (path) {
        for (const char* p = path; *p != '\0' && pos < kMaxPath; ++p) {
            if (IsSeparator(*p)) {
                pos = 0;
            } else {
                out[pos++] = *p;
            }
        }
    }
    out[pos] = '\0';
}

void LFile::_GetFileTitleFromPath(PathBuffer& out, const char* path) noexcept {
    _GetFileFromPath(out, path);
    char* dot = std::strrchr(out, '.');
    if (dot && dot != out) *dot = '\0';
}

void LFile::FilePathCat(PathBuffer& folder, const char* name) noexcept {
    std::size_t n = ::strnlen(folder, qdx::kTextSize);
    if (n >= kMaxPath) {
        folder[kMaxPath] = '\0';  // an unterminated buffer gets its terminator back
        return;
    }
    if (n > 0 && !IsSeparator(folder[n - 1])) folder[n++] = '\\';
    if (name) {
        while (n < kMaxPath && *name != '\0') folder[n++] = *name++;
    }
    folder[n] = '\0';
}
