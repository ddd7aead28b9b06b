#include "pkgbuild.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "setup/package.h"

namespace pkgbuild {

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
        trailer.sizes[i] = static_cast<std::int32_t>(f.size());
        trailer.checksum = AddToChecksum(trailer.checksum, f.data(), f.size());
        package.insert(package.end(), f.begin(), f.end());
    }
    const std::size_t at = package.size();
    package.resize(at + SetupTrailerSize(trailer.count));
    WriteSetupTrailer(trailer, package.data() + at);
    return true;
}

bool ReadFile(const std::string& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
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
