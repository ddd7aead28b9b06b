// The run-mode marker and the setup package on disk.
#pragma once

#include <cstdint>

#include "common/handles.h"
#include "setup/package.h"

// The last 4 bytes of the file; NO_MARKER when it cannot be opened or is
// shorter than a marker.
std::uint32_t ReadRunModeMarker(const char* path);

// Appends the 4-byte value at the end of an existing file; nothing happens
// when the file cannot be opened.
void AppendMarker(const char* path, std::uint32_t value);

enum class PackageOpen {
    kOk,          // trailer read, every named file lies inside the package; file at offset 0
    kCannotOpen,  // the install ends silently
    kDamaged,     // trailer unreadable or naming more bytes than the package holds
};

// Opens the package at path for sequential reading of its files and reads the
// trailer of `count` files (1..128).
PackageOpen OpenSetupPackage(const char* path, std::size_t count, qdx::UniqueFile& file, SetupTrailer& trailer);
