#include "pkgbuild.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "core/package.h"

namespace pkgbuild {
namespace {

const char* KindName(SetupFileKind kind) {
    switch (kind) {
    case SetupFileKind::kProgram: return "a Windows program for i386 or AMD64";
    case SetupFileKind::kHelp: return "a WinHelp file";
    case SetupFileKind::kHtmlPage: return "an HTML page";
    }
    return "of its kind";
}

}  // namespace

bool BuildPackage(const std::vector<Bytes>& files, Bytes& package, std::string& error) {
    if (files.size() != kSetupFileCount) {
        error = "the program's file table has " + std::to_string(kSetupFileCount) + " files, " +
                std::to_string(files.size()) + " were given";
        return false;
    }
    SetupTrailer trailer;
    trailer.count = files.size();
    trailer.marker = SETUP_MARKER;
    std::uint64_t total = 0;
    package.clear();
    // The program that heads the package checks each file's start against its
    // kind, a program against the machine type it was built for: its own.
    std::uint16_t machine = PeMachine(files[0].data(), files[0].size());
    if (machine != kMachineI386 && machine != kMachineAmd64) machine = 0;  // no program checks for others
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Bytes& f = files[i];
        // A size of 0 would read as "no such file", and the reader takes sizes
        // as signed numbers; the whole package must also stay below 4 GB.
        if (f.empty()) {
            error = std::string("file ") + std::to_string(i) + " (" + SetupFileTable[i].fileName + ") is empty";
            return false;
        }
        total += f.size();
        if (f.size() > 0x7FFFFFFFu || total + SetupTrailerSize(files.size()) > 0xFFFFFFFFu) {
            error = "the package would be larger than the format allows";
            return false;
        }
        if (!SetupFileStartSound(SetupFileTable[i].kind, f.data(), std::min(f.size(), kSetupHeadSize), machine)) {
            error = std::string("file ") + std::to_string(i) + " (" + SetupFileTable[i].fileName + ") is not " +
                    KindName(SetupFileTable[i].kind);
            return false;
        }
        trailer.sizes[i] = static_cast<std::int32_t>(f.size());
        trailer.checksum = AddToChecksum(trailer.checksum, f.data(), f.size());
        package.insert(package.end(), f.begin(), f.end());
    }
    const std::size_t at = package.size();
    package.resize(at + SetupTrailerSize(trailer.count));
    WriteSetupTrailer(trailer, package.data() + at);
    // What the program will check before it installs anything.
    if (!SetupPackageSound(package.data(), package.size(), machine)) {
        error = "the package would not pass the program's own check";
        return false;
    }
    return true;
}

bool ReadFile(const std::string& path, Bytes& bytes, std::string* reason) {
    // stdio rather than a stream: a directory opens as a stream and then
    // throws on the first read.
    bytes.clear();
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in) {
        unsigned char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        const bool failed = std::ferror(in) != 0;
        const int error = errno;
        std::fclose(in);
        if (!failed) return true;
        errno = error;
    }
    if (reason) *reason = std::strerror(errno);
    bytes.clear();
    return false;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace pkgbuild
