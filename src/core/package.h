// The setup package appended to the executable, and the run-mode marker that
// ends every copy of it. Pure byte work: no file is touched here, so the host
// packaging tool builds packages with the same code the program reads them with.
//
// Layout, all numbers 32-bit little-endian:
//   file 0 (the program itself, from offset 0) | file 1 | ... | file N-1
//   | size 0 | ... | size N-1 | checksum | marker
//   [ | 0 to 7 zero bytes | certificate table ]   (once the package is signed)
// The checksum is taken over file 0 as the program carries it itself: with
// its own values in the 12 header bytes that signing the package rewrites
// (see peimage.h).
// N is not stored: it is the number of rows of SetupFileTable below, so the
// program and the package it heads must agree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/helpfiles.h"
#include "core/peimage.h"
#include "core/text.h"

// The last 4 bytes of an executable decide what a started copy does.
constexpr std::uint32_t SETUP_MARKER = 0x0F0FF0F0u;      // a setup package: install
constexpr std::uint32_t UNINSTALL_MARKER = 0xF0F00F0Fu;  // the uninstaller
constexpr std::uint32_t NO_MARKER = 0;                   // the installed program
constexpr std::size_t kMarkerSize = 4;

// The corrupt-package message, shown by the entry and by the install.
constexpr char kInstallErrorText[] =
    "Installation file corrupt.\n\nA checksum error was detected in your install file, please redownload file "
    "and install again.";
constexpr char kInstallErrorCaption[] = "Install Error";

// What a packaged file must start with, checked before anything is written:
// a trailer that lies but still adds up (sizes swapped, or a file cut short
// with its bytes left as spare) would otherwise install one file's bytes
// under another's name.
enum class SetupFileKind {
    kProgram,  // a PE image of the machine the program was built for; installed with NO_MARKER behind it
    kHelp,     // a WinHelp file
    kHtmlPage, // a page of the help as HTML
};

struct SetupFileEntry {
    // Null, "ProgramFiles" or "DataFiles": the install folder itself; any other
    // text names a subfolder of it.
    const char* folderKey;
    const char* fileName;  // null ends the table
    SetupFileKind kind;
};

constexpr SetupFileEntry SetupFileTable[] = {
    {nullptr, "qdxremote.exe", SetupFileKind::kProgram},  // file 0: the program, which heads the package
    {nullptr, kHelpFileName, SetupFileKind::kHelp},
    // The same help as HTML, for systems without a working WinHelp reader.
    {nullptr, kHelpContentsPage, SetupFileKind::kHtmlPage},
    {nullptr, kHelpUsersGuidePage, SetupFileKind::kHtmlPage},
    {nullptr, kHelpInstallationPage, SetupFileKind::kHtmlPage},
    {nullptr, kHelpNetworkAdminPage, SetupFileKind::kHtmlPage},
    {nullptr, kHelpSettingsPage, SetupFileKind::kHtmlPage},
    {nullptr, kHelpLicencePage, SetupFileKind::kHtmlPage},
    {nullptr, nullptr, SetupFileKind::kProgram},
};

// Where the file of a row is installed: installFolder itself for a null,
// "ProgramFiles" or "DataFiles" key, else the subfolder the key names. False
// when the path does not fit: the caller then writes the file nowhere rather
// than to a cut path that names another file.
bool SetupTargetPath(const char* installFolder, const SetupFileEntry& row, char (&out)[qdx::kTextSize]);

// The reader keeps the size fields in a table of this many entries.
constexpr std::size_t kMaxSetupFiles = 128;

constexpr std::size_t CountSetupFiles(const SetupFileEntry* table) {
    std::size_t n = 0;
    while (table[n].fileName) ++n;
    return n;
}
constexpr std::size_t kSetupFileCount = CountSetupFiles(SetupFileTable);
static_assert(kSetupFileCount >= 1 && kSetupFileCount <= kMaxSetupFiles,
              "the package format holds the program and at most 128 files");

// Bytes behind the packaged files: the sizes, the checksum and the marker.
constexpr std::size_t SetupTrailerSize(std::size_t count) { return 4 * (count + 2); }

struct SetupTrailer {
    std::size_t count = 0;
    std::int32_t sizes[kMaxSetupFiles] = {};  // 0 or less: no such file
    std::uint32_t checksum = 0;
    std::uint32_t marker = 0;
};

// Decodes the SetupTrailerSize(count) bytes at the end of a package. False
// only when count is outside 1..128.
bool ParseSetupTrailer(const unsigned char* bytes, std::size_t count, SetupTrailer& out);
// Encodes a trailer into out (SetupTrailerSize(trailer.count) bytes).
void WriteSetupTrailer(const SetupTrailer& trailer, unsigned char* out);

// Bytes of packaged files the trailer names: the positive sizes, summed
// without wrapping.
std::uint64_t SetupPayloadSize(const SetupTrailer& trailer);
// Where file `index` starts: the positive sizes before it, summed.
std::uint64_t SetupFileOffset(const SetupTrailer& trailer, std::size_t index);
// Whether the sizes account for a package of packageLength bytes exactly:
// every file is there (size above 0), and the files and the trailer fill the
// package to its last byte. Sizes beyond the end would cut files short;
// spare bytes before the trailer mean a size is smaller than its file.
bool SetupSizesSound(const SetupTrailer& trailer, std::uint64_t packageLength);

// The WinHelp file magic, the first 4 bytes of every help file.
constexpr std::uint32_t kHelpFileMagic = 0x00035F3F;
// How every help page starts, as the help compiler writes it.
constexpr char kHtmlPageStart[] = "<!DOCTYPE html>";
// The kind check reads at most this many bytes of a file's start (the PE
// headers' share of a program, see peimage.h).
constexpr std::size_t kSetupHeadSize = kPeHeadSize;
// Whether a file of `kind` may start with head (its first bytes: all of the
// file, or kSetupHeadSize of them). machine: the one a program must be for.
bool SetupFileStartSound(SetupFileKind kind, const unsigned char* head, std::size_t length, std::uint16_t machine);
// A whole package in memory, its trailer of kSetupFileCount files included
// (in a signed package: in front of its certificate table): the sizes are
// sound, every file starts as its row's kind must and the program's own
// header values follow from its bytes (ProgramSignatureFields). The checksum
// is not part of it (the install tests it while extracting).
bool SetupPackageSound(const unsigned char* package, std::size_t length, std::uint16_t machine);

// The checksum is the sum, modulo 2^32, of every packaged byte. The reader
// starts from the stored value and subtracts what it reads: 0 at the end
// means the bytes are intact.
std::uint32_t AddToChecksum(std::uint32_t sum, const unsigned char* bytes, std::size_t n);
std::uint32_t SubtractFromChecksum(std::uint32_t accumulator, const unsigned char* bytes, std::size_t n);

// Whether a file title (name without folder and extension) contains "SETUP"
// in any letter case.
bool IsSetupFileTitle(const char* title);
// A file named like a setup package that does not end with the setup marker
// is a damaged package (it lost its end): it must not run as anything else.
bool SetupNameStopsRun(const char* title, std::uint32_t marker);
