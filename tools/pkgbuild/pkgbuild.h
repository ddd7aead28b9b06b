// Building a setup package: the program first, the other packaged files behind
// it in table order, then the sizes, the checksum and the setup marker.
#pragma once

#include <string>
#include <vector>

namespace pkgbuild {

using Bytes = std::vector<unsigned char>;

// files[0] is the program executable. Fails (with a reason in error) when the
// number of files differs from the program's file table, a file is empty or
// does not start as its row's kind must (the program: a PE image for i386 or
// AMD64, which the other checks then assume), or a size does not fit the
// format's signed 32-bit fields: what the program would refuse to install.
bool BuildPackage(const std::vector<Bytes>& files, Bytes& package, std::string& error);

// Points the image's load-configuration directory at the table the linker's
// map places at symbol (GNU ld fills that directory from no symbol), and
// updates the image's checksum. Fails, with a reason, when the map does not
// name the symbol or the bytes there do not start a table.
bool SetLoadConfigDirectory(Bytes& image, const std::string& map, const std::string& symbol, std::string& error);

// False for a file that cannot be opened or read (a directory among them),
// with the system's reason in *reason when given.
bool ReadFile(const std::string& path, Bytes& bytes, std::string* reason = nullptr);
// Writes through a temporary file and a rename, so a failed run never leaves
// a half-written package under the final name.
bool WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace pkgbuild
