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
#include "package_samples.h"

namespace {

using package_samples::Bytes;
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
