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

// A PE32 image with its optional header, one section of 0x200 bytes at 0x200,
// and nothing behind it: what signing and the install's header rule need.
inline Bytes FullProgram(std::uint16_t machine) {
    Bytes b = Program(machine, 0x400);
    b[0x46] = 1;                                   // one section
    b[0x54] = 0xE0;                                // optional header size
    b[0x58] = 0x0B, b[0x59] = 0x01;                // PE32
    WriteLE32(&b[0x58 + 92], 16);                  // data directories
    WriteLE32(&b[0x138 + 16], 0x200);              // the section's raw size
    WriteLE32(&b[0x138 + 20], 0x200);              // and place
    for (std::size_t i = 0x200; i < 0x400; ++i) b[i] = static_cast<unsigned char>(i * 7);
    return b;
}

// Signs as the tools do: zeros up to a multiple of 8, a certificate table of
// `content` bytes (revision 2.0, PKCS#7) behind them, the security entry
// (0x58 + 128 in a PE32 header) pointing at it.
inline Bytes Signed(Bytes b, std::size_t content = 24) {
    while (b.size() % 8) b.push_back(0);
    const std::uint32_t at = static_cast<std::uint32_t>(b.size()), size = static_cast<std::uint32_t>(8 + content);
    b.resize(b.size() + size, 0x5A);
    WriteLE32(&b[at], size);
    b[at + 4] = 0x00, b[at + 5] = 0x02, b[at + 6] = 0x02, b[at + 7] = 0x00;
    WriteLE32(&b[0x58 + 128], at);
    WriteLE32(&b[0x58 + 132], size);
    WriteLE32(&b[0x58 + 64], 0x12345678);  // a checksum of the signed whole
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
