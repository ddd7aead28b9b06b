// The run-mode marker and the setup package on disk.
#pragma once

#include <cstdint>

#include "common/handles.h"
#include "core/package.h"
#include "core/peimage.h"

// The last 4 bytes of the file, or of what precedes its certificate table
// (FindDataEnd) in a signed file; NO_MARKER when it cannot be opened or is
// shorter than a marker.
std::uint32_t ReadRunModeMarker(const char* path);

// Appends the 4-byte value at the end of an existing file; a signed file
// loses its certificate table (whose signature the value would break) and
// gets the value in its place. False when the file cannot be opened or not
// all 4 bytes were written (the last error then says why); a file left that
// way does not end with the value.
bool AppendMarker(const char* path, std::uint32_t value);

// The PE machine type this program was built for: a package it heads must
// carry a program of the same kind.
#if defined(__x86_64__) || defined(_M_X64)
constexpr std::uint16_t kBuildMachine = kMachineAmd64;
#elif defined(__i386__) || defined(_M_IX86)
constexpr std::uint16_t kBuildMachine = kMachineI386;
#else
#error "the setup package holds programs for i386 or AMD64 only"
#endif

enum class PackageOpen {
    kOk,          // the package is sound (see SetupSizesSound, SetupFileStartSound); file at offset 0
    kCannotOpen,  // the install ends silently
    kDamaged,     // trailer unreadable, sizes that do not fill the package, or a file that starts wrong
};

// Opens the package at path for sequential reading of its files, reads the
// trailer of the kSetupFileCount files of SetupFileTable (in a signed package:
// in front of its certificate table) and checks that the package is sound
// before anything is extracted. program: the values the packaged program
// carries in the header bytes that signing the package rewrote; the program
// is extracted and checksummed with these.
PackageOpen OpenSetupPackage(const char* path, qdx::UniqueFile& file, SetupTrailer& trailer,
                             SignatureFields& program);
