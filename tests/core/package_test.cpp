// The setup package format as the program reads it and qdxpkg writes it:
// checksum, trailer, the soundness check (sizes against the package length,
// each file's start against its kind), where each file goes, the setup name
// test, and the rule that picks the reader of the help it ships.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/helpfiles.h"
#include "core/package.h"
#include "core/peimage.h"
#include "package_samples.h"

namespace {

using package_samples::Bytes;
using package_samples::FullProgram;
using package_samples::Signed;
using package_samples::Help;
using package_samples::Page;
using package_samples::Program;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

SetupTrailer Trailer(std::vector<std::int32_t> sizes) {
    SetupTrailer t;
    t.count = sizes.size();
    for (std::size_t i = 0; i < sizes.size(); ++i) t.sizes[i] = sizes[i];
    return t;
}

TEST(PackageFormat, Checksum) {
    struct Case { Bytes bytes; std::uint32_t sum; } cases[] = {
        {Text("abc"), 0x126},
        {Bytes(), 0},
        {Bytes(0x01010102, 0xFF), 0xFE},  // 0xFF x 0x01010102 = 0x1000000FE, kept modulo 2^32
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddToChecksum(0, c.bytes.data(), c.bytes.size()), c.sum);
        // The reader starts from the stored sum and subtracts: intact bytes give 0.
        EXPECT_EQ(SubtractFromChecksum(c.sum, c.bytes.data(), c.bytes.size()), 0u);
    }
}

TEST(PackageFormat, ShippedTrailerAndLengthCheck) {
    // The 16 bytes that end the shipped package of 208,351 bytes.
    const unsigned char bytes[] = {0x00, 0x00, 0x03, 0x00, 0xCF, 0x2D, 0x00, 0x00,
                                   0x4F, 0x9D, 0x68, 0x01, 0xF0, 0xF0, 0x0F, 0x0F};
    SetupTrailer t;
    ASSERT_TRUE(ParseSetupTrailer(bytes, 2, t));
    EXPECT_EQ(t.sizes[0], 196608);
    EXPECT_EQ(t.sizes[1], 11727);
    EXPECT_EQ(t.checksum, 0x01689D4Fu);
    EXPECT_EQ(t.marker, SETUP_MARKER);
    EXPECT_TRUE(SetupSizesSound(t, 208351));
    EXPECT_FALSE(SetupSizesSound(t, 208350));  // one byte cut out of the middle
    EXPECT_FALSE(SetupSizesSound(t, 208352));  // a spare byte before the trailer

    unsigned char back[16];
    WriteSetupTrailer(t, back);
    EXPECT_EQ(0, memcmp(back, bytes, sizeof bytes));
    EXPECT_FALSE(ParseSetupTrailer(bytes, 0, t));
    EXPECT_FALSE(ParseSetupTrailer(bytes, kMaxSetupFiles + 1, t));
}

TEST(PackageFormat, SizesAgainstPackageLength) {
    struct Case {
        std::vector<std::int32_t> sizes;
        std::uint64_t length, payload;
        bool sound;
    } cases[] = {
        {{10, 5}, 31, 15, true},
        {{10, 5}, 32, 15, false},                      // spare bytes: a size smaller than its file
        {{10, 5}, 30, 15, false},                      // sizes beyond the end
        {{10, 0}, 26, 10, false},                      // size 0: a file of the table is missing
        {{10, -3}, 26, 10, false},                     // negative: missing as well
        {{0, 0}, 15, 0, false},                        // shorter than the trailer
        {{0, 0}, 16, 0, false},                        // nothing to install
        {{0x7FFFFFFF, 0x7FFFFFFF}, 40, 0xFFFFFFFEull, false},
        // Sums that wrap in 32 bits must not pass as small.
        {{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 3}, 24, 0x180000000ull, false},
    };
    for (const Case& c : cases) {
        SetupTrailer t = Trailer(c.sizes);
        EXPECT_EQ(SetupPayloadSize(t), c.payload);
        EXPECT_EQ(SetupSizesSound(t, c.length), c.sound) << c.length;
    }
}

TEST(PackageFormat, FileStartsAsItsKindMust) {
    const Bytes amd64 = Program(kMachineAmd64), i386 = Program(kMachineI386);
    Bytes noStub = amd64, noSignature = amd64, lfanewAtEnd = amd64, lfanewHuge = amd64;
    noStub[1] = 'Y';
    noSignature[0x42] = 1;
    WriteLE32(&lfanewAtEnd[0x3C], static_cast<std::uint32_t>(amd64.size() - 4));  // no room for the machine
    WriteLE32(&lfanewHuge[0x3C], 0xFFFFFFF0u);
    using K = SetupFileKind;
    struct Case { const char* name; K kind; Bytes bytes; std::uint16_t machine; bool sound; } cases[] = {
        {"AMD64 program", K::kProgram, amd64, kMachineAmd64, true},
        {"i386 program", K::kProgram, i386, kMachineI386, true},
        {"program of the other machine", K::kProgram, i386, kMachineAmd64, false},
        {"no MZ", K::kProgram, noStub, kMachineAmd64, false},
        {"no PE signature", K::kProgram, noSignature, kMachineAmd64, false},
        {"e_lfanew leaves no machine field", K::kProgram, lfanewAtEnd, kMachineAmd64, false},
        {"e_lfanew near 4 GB", K::kProgram, lfanewHuge, kMachineAmd64, false},
        {"stub cut inside e_lfanew", K::kProgram, Bytes(amd64.begin(), amd64.begin() + 0x3E), kMachineAmd64,
         false},
        {"help bytes as the program", K::kProgram, Help(), kMachineAmd64, false},
        {"nothing", K::kProgram, Bytes(), kMachineAmd64, false},
        {"help", K::kHelp, Help(), kMachineAmd64, true},
        {"program bytes as help", K::kHelp, amd64, kMachineAmd64, false},
        {"help magic cut short", K::kHelp, Bytes{0x3F, 0x5F, 0x03}, kMachineAmd64, false},
        {"page", K::kHtmlPage, Page(), kMachineAmd64, true},
        {"help bytes as a page", K::kHtmlPage, Help(), kMachineAmd64, false},
        {"page without its doctype", K::kHtmlPage, Text("<html lang=\"en\">"), kMachineAmd64, false},
        {"doctype cut short", K::kHtmlPage, Text("<!DOCTYPE htm"), kMachineAmd64, false},
        {"page as the help", K::kHelp, Page(), kMachineAmd64, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetupFileStartSound(c.kind, c.bytes.data(), c.bytes.size(), c.machine), c.sound) << c.name;
}

// A package built around a full program image, with its trailer.
Bytes Package(const Bytes& program) {
    std::vector<Bytes> files = package_samples::TableFiles(kMachineI386);
    files[0] = program;
    SetupTrailer t;
    t.count = files.size();
    t.marker = SETUP_MARKER;
    Bytes out;
    for (std::size_t i = 0; i < files.size(); ++i) {
        t.sizes[i] = static_cast<std::int32_t>(files[i].size());
        out.insert(out.end(), files[i].begin(), files[i].end());
    }
    out.resize(out.size() + SetupTrailerSize(t.count));
    WriteSetupTrailer(t, out.data() + out.size() - SetupTrailerSize(t.count));
    return out;
}

// Signing appends a certificate table behind the package (or the program)
// and rewrites its header: the data behind the image then ends where the
// table's alignment starts, and the program's own header values follow from
// its bytes whatever signing the package wrote.
TEST(PackageFormat, SignedFilesEndBeforeTheirCertificateTable) {
    const Bytes unsigned_ = Package(FullProgram(kMachineI386));
    Bytes trailing = Signed(unsigned_), unaligned = Signed(unsigned_), shortTable = Signed(unsigned_, 0);
    trailing.push_back(1);                                   // the table no longer ends the file
    WriteLE32(&unaligned[0x58 + 128], ReadLE32(&unaligned[0x58 + 128]) + 4);
    WriteLE32(&unaligned[0x58 + 132], ReadLE32(&unaligned[0x58 + 132]) - 4);
    WriteLE32(&shortTable[0x58 + 132], 4);                   // shorter than a certificate header
    WriteLE32(&shortTable[0x58 + 128], static_cast<std::uint32_t>(shortTable.size() - 4));
    struct Case { const char* name; Bytes bytes; std::uint64_t end; bool sound; } cases[] = {
        {"unsigned", unsigned_, unsigned_.size(), true},
        {"signed", Signed(unsigned_), unsigned_.size(), true},
        {"signed twice over", Signed(Signed(unsigned_)), Signed(unsigned_).size(), false},
        {"data behind the table", trailing, trailing.size(), false},
        {"table not 8-aligned", unaligned, unaligned.size(), false},
        {"table shorter than its header", shortTable, shortTable.size(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DataEndBeforeSignature(c.bytes.data(), c.bytes.size()), c.end) << c.name;
        EXPECT_EQ(SetupPackageSound(c.bytes.data(), c.bytes.size(), kMachineI386), c.sound) << c.name;
    }

    // The program's own values: none for an image without an optional header,
    // the table and a checksum for a signed one, whatever its header says.
    const Bytes program = FullProgram(kMachineI386), signedProgram = Signed(program);
    Bytes overlay = program, badCertificate = signedProgram, wrongHeader = signedProgram;
    overlay.resize(overlay.size() + 16, 1);
    badCertificate[program.size() + 5] = 0x01;  // revision 1.0
    WriteLE32(&wrongHeader[0x58 + 128], 0);
    SignatureFields f;
    ASSERT_TRUE(ProgramSignatureFields(Program(kMachineI386).data(), 0x200, f));
    EXPECT_FALSE(f.present);
    ASSERT_TRUE(ProgramSignatureFields(program.data(), program.size(), f));
    EXPECT_TRUE(f.present);
    EXPECT_EQ(f.tableOffset + f.tableSize, 0u);
    ASSERT_TRUE(ProgramSignatureFields(wrongHeader.data(), wrongHeader.size(), f));
    EXPECT_EQ(f.tableOffset, program.size());
    EXPECT_EQ(f.tableSize, signedProgram.size() - program.size());
    EXPECT_FALSE(ProgramSignatureFields(overlay.data(), overlay.size(), f));
    EXPECT_FALSE(ProgramSignatureFields(badCertificate.data(), badCertificate.size(), f));
    // Known PE checksums (as the system computes them): words summed with
    // their carries folded back, the checksum field skipped, the length added.
    const unsigned char words[] = {0xFF, 0xFF, 0x01, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x7F};
    EXPECT_EQ(PeChecksumFinish(PeChecksumAdd(0, words, 9, 0, 100), 9), 0x9A00u);
    EXPECT_EQ(PeChecksumFinish(PeChecksumAdd(0, words, 9, 0, 4), 9), 0x89u);  // bytes 4 to 7 skipped
}

TEST(PackageFormat, TargetPathsStayWhole) {
    // With "\\f.exe" behind them: 259 characters, and one too many.
    const std::string fits(253, 'd'), cut(254, 'd');
    struct Case { const char* key; std::string folder, path; } cases[] = {  // no path: refused
        {nullptr, "C:\\P", "C:\\P\\f.exe"},
        {"ProgramFiles", "C:\\P", "C:\\P\\f.exe"},
        {"DataFiles", "C:\\P", "C:\\P\\f.exe"},
        {"Logs", "C:\\P", "C:\\P\\Logs\\f.exe"},
        {nullptr, fits, fits + "\\f.exe"},
        {nullptr, cut, ""},  // would be cut: named nowhere
    };
    for (const Case& c : cases) {
        char out[qdx::kTextSize];
        const SetupFileEntry row{c.key, "f.exe", SetupFileKind::kProgram};
        ASSERT_EQ(SetupTargetPath(c.folder.c_str(), row, out), !c.path.empty()) << c.folder;
        if (!c.path.empty()) {
            EXPECT_EQ(out, c.path);
        }
    }
}

TEST(PackageFormat, SetupNameTest) {
    struct Case { const char* title; std::uint32_t marker; bool stops; } cases[] = {
        {"mysetup", NO_MARKER, true},
        {"QdxSetup", 0x12345678, true},
        {"SeTuP", UNINSTALL_MARKER, true},  // the name wins over the uninstall marker
        {"qdxsetup", SETUP_MARKER, false},
        {"qdxremote", NO_MARKER, false},
        {"install", SETUP_MARKER, false},    // a package under another name installs
        {"set up", NO_MARKER, false},
        {"setu", NO_MARKER, false},
        {"", NO_MARKER, false},
    };
    for (const Case& c : cases) EXPECT_EQ(SetupNameStopsRun(c.title, c.marker), c.stops) << c.title;
}

TEST(HelpFiles, ReaderRule) {
    struct Case {
        const char* system;
        HelpSystem facts;  // wine, major version, winhlp32.exe, ftsrch.dll
        bool works;
    } systems[] = {
        {"XP", {false, 5, true, true}, true},
        {"2000 without the search library", {false, 5, true, false}, true},
        {"Vista to 11 with the stub only", {false, 6, true, false}, false},
        {"7 with the reader added", {false, 6, true, true}, true},
        {"10 with the reader copied over", {false, 10, true, true}, true},
        {"Wine", {true, 6, true, false}, true},
        {"Wine without its reader", {true, 6, false, false}, false},
        {"no reader file at all", {false, 5, false, true}, false},
        {"version not known", {false, 0, true, false}, false},
    };
    for (const Case& c : systems) EXPECT_EQ(WinHelpReaderWorks(c.facts), c.works) << c.system;

    using R = HelpReader;
    struct Choice { const char* setting; bool works; R reader; } choices[] = {
        {nullptr, true, R::kWinHelp},   {nullptr, false, R::kBrowser}, {"", false, R::kBrowser},
        {"WinHelp", false, R::kWinHelp}, {"browser", true, R::kBrowser}, {"BROWSER", true, R::kBrowser},
        {"Chrome", true, R::kWinHelp},   {"WinHelp ", false, R::kBrowser},  // other texts: automatic
    };
    for (const Choice& c : choices)
        EXPECT_EQ(ChooseHelpReader(c.setting, c.works), c.reader) << (c.setting ? c.setting : "(absent)") << c.works;
}

}  // namespace
