#include "fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace helpc {

namespace {

// Closes a stdio stream however the function is left.
struct FileCloser {
    std::FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& why) {
    bytes.clear();
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        why = Reason(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        why = "is a folder, not a file";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "is not a regular file";
        return false;
    }
    FileCloser in{std::fopen(path.c_str(), "rb")};
    if (!in.f) {
        why = Reason(errno);
        return false;
    }
    char buffer[65536];
    for (;;) {
        std::size_t n = std::fread(buffer, 1, sizeof buffer, in.f);
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(in.f)) {
        why = "read error: " + Reason(errno);
        bytes.clear();
        return false;
    }
    return true;
}

bool WriteFilesInPlace(const std::vector<OutputFile>& files, std::string& failedPath,
                       std::string& why) {
    std::vector<std::string> written;
    auto removeTemps = [&]() {
        for (const std::string& t : written) std::remove(t.c_str());
    };
    for (const OutputFile& f : files) {
        const std::string temp = f.path + ".tmp";
        FileCloser out{std::fopen(temp.c_str(), "wb")};
        if (!out.f) {
            failedPath = temp;
            why = "cannot create the file: " + Reason(errno);
            removeTemps();
            return false;
        }
        written.push_back(temp);
        const bool ok = std::fwrite(f.bytes.data(), 1, f.bytes.size(), out.f) == f.bytes.size();
        const int error = errno;
        std::FILE* closing = out.f;
        out.f = nullptr;
        if (std::fclose(closing) != 0 || !ok) {
            failedPath = temp;
            why = "cannot write the file: " + Reason(ok ? errno : error);
            removeTemps();
            return false;
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (std::rename(written[i].c_str(), files[i].path.c_str()) != 0) {
            failedPath = files[i].path;
            why = "cannot move the file into place: " + Reason(errno);
            for (std::size_t k = i; k < written.size(); ++k) std::remove(written[k].c_str());
            return false;
        }
    }
    return true;
}

void RemoveFileIfPresent(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
}

}  // namespace helpc
