// Starts of the files a setup package holds, for the package tests of the
// core and of the package builder.
#pragma once

#include <cstdint>
#include <vector>

#include "core/package.h"

namespace package_samples {

using Bytes = std::vector<unsigned char>;

// The start of a PE image: an MZ stub whose e_lfanew points at "PE\0\0" and
// the machine field, then zeros.
inline Bytes Program(std::uint16_t machine, std::size_t size = 0x200) {
    Bytes b(size, 0);
    b[0] = 'M', b[1] = 'Z';
    WriteLE32(&b[0x3C], 0x40);
    b[0x40] = 'P', b[0x41] = 'E';
    b[0x44] = static_cast<unsigned char>(machine), b[0x45] = static_cast<unsigned char>(machine >> 8);
    return b;
}

// A help file's magic; like the real one it ends in zero bytes, so a smaller
// size still adds up to the same checksum.
inline Bytes Help() {
    Bytes b(0x100, 0);
    WriteLE32(b.data(), kHelpFileMagic);
    return b;
}

// The start of a help page.
inline Bytes Page() {
    const char text[] = "<!DOCTYPE html>\n<html lang=\"en\">\n</html>\n";
    return Bytes(text, text + sizeof text - 1);
}

// One file for each row of the program's table, each of its row's kind.
inline std::vector<Bytes> TableFiles(std::uint16_t machine) {
    std::vector<Bytes> files;
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        switch (SetupFileTable[i].kind) {
        case SetupFileKind::kProgram: files.push_back(Program(machine)); break;
        case SetupFileKind::kHelp: files.push_back(Help()); break;
        case SetupFileKind::kHtmlPage: files.push_back(Page()); break;
        }
    }
    return files;
}

}  // namespace package_samples
