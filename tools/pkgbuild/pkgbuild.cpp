#include "pkgbuild.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "core/package.h"
#include "core/peimage.h"

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
    // The install gives the program back the header values it derives from
    // the program's bytes (signing the package rewrites them): a program
    // that does not carry exactly those would be installed changed, and its
    // checksum would fail. Refused here rather than at the install.
    SignatureFields own;
    if (!ProgramSignatureFields(files[0].data(), files[0].size(), own)) {
        error = "file 0 (" + std::string(SetupFileTable[0].fileName) +
                ") has data behind its sections that is not one certificate table";
        return false;
    }
    Bytes restored(files[0].begin(), files[0].begin() + std::min(files[0].size(), kSetupHeadSize));
    PutSignatureFields(own, restored.data(), restored.size(), 0);
    if (!std::equal(restored.begin(), restored.end(), files[0].begin())) {
        error = "file 0 (" + std::string(SetupFileTable[0].fileName) +
                ") does not carry its own checksum or certificate table entry";
        return false;
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

bool SetLoadConfigDirectory(Bytes& image, const std::string& map, const std::string& symbol, std::string& error) {
    // The map's line for the symbol: "  0xADDRESS  symbol".
    std::uint64_t address = 0;
    bool found = false;
    for (std::size_t line = 0; line < map.size() && !found;) {
        std::size_t end = map.find('\n', line);
        if (end == std::string::npos) end = map.size();
        std::size_t a = map.find_first_not_of(" \t", line);
        if (a < end && map.compare(a, 2, "0x") == 0) {
            std::size_t b = map.find_first_of(" \t", a);
            std::size_t c = b < end ? map.find_first_not_of(" \t", b) : end;
            std::size_t d = c < end ? map.find_first_of(" \t\r\n", c) : end;
            if (c < end && d <= end && d == end - (map[end - 1] == '\r') && map.compare(c, d - c, symbol) == 0) {
                address = std::strtoull(map.c_str() + a + 2, nullptr, 16);
                found = true;
            }
        }
        line = end + 1;
    }
    PeFields pe;
    const std::size_t head = std::min(image.size(), kSetupHeadSize);
    if (!found) {
        error = "the map does not place " + symbol;
        return false;
    }
    if (!ReadPeFields(image.data(), head, pe) || address < pe.imageBase || address - pe.imageBase > 0xFFFFFFFFu) {
        error = "not a PE image with a load configuration entry, or the symbol lies outside it";
        return false;
    }
    const std::uint32_t rva = static_cast<std::uint32_t>(address - pe.imageBase);
    std::uint32_t offset = 0;
    if (!PeRvaToOffset(image.data(), head, rva, offset) || offset > image.size() || image.size() - offset < 4) {
        error = "the symbol's address is in no section's data";
        return false;
    }
    // The table starts with its own size.
    const std::uint32_t size = ReadLE32(image.data() + offset);
    if (size < 64 || size > 1024 || image.size() - offset < size) {
        error = "the bytes at the symbol's address do not start a load configuration table";
        return false;
    }
    WriteLE32(image.data() + pe.loadConfigEntryAt, rva);
    WriteLE32(image.data() + pe.loadConfigEntryAt + 4, size);
    // The header changed: its checksum follows.
    const std::uint32_t partial = PeChecksumAdd(0, image.data(), image.size(), 0, pe.checksumAt);
    WriteLE32(image.data() + pe.checksumAt, PeChecksumFinish(partial, image.size()));
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
