// The package format as the program reads it and qdxpkg writes it: checksum,
// trailer, the soundness check (sizes against the package length, each file's
// start against its kind), the setup name test, and the tool's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "pkgbuild.h"
#include "setup/package.h"

namespace {

using pkgbuild::Bytes;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The start of a PE image: an MZ stub whose e_lfanew points at "PE\0\0" and
// the machine field, then zeros.
Bytes Program(std::uint16_t machine, std::size_t size = 0x200) {
    Bytes b(size, 0);
    b[0] = 'M', b[1] = 'Z';
    WriteLE32(&b[0x3C], 0x40);
    b[0x40] = 'P', b[0x41] = 'E';
    b[0x44] = static_cast<unsigned char>(machine), b[0x45] = static_cast<unsigned char>(machine >> 8);
    return b;
}

// A help file's magic; like the real one it ends in zero bytes, so a smaller
// size still adds up to the same checksum.
Bytes Help() {
    Bytes b(0x100, 0);
    WriteLE32(b.data(), kHelpFileMagic);
    return b;
}

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
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetupFileStartSound(c.kind, c.bytes.data(), c.bytes.size(), c.machine), c.sound) << c.name;
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

TEST(PackageBuilder, LayoutAndRefusals) {
    const Bytes program = Program(kMachineI386), help = Help();
    Bytes package;
    std::string error;
    ASSERT_TRUE(pkgbuild::BuildPackage({program, help}, package, error)) << error;
    ASSERT_EQ(package.size(), program.size() + help.size() + SetupTrailerSize(2));
    EXPECT_TRUE(std::equal(program.begin(), program.end(), package.begin()));
    SetupTrailer t;
    ASSERT_TRUE(ParseSetupTrailer(package.data() + package.size() - 16, 2, t));
    EXPECT_EQ(t.sizes[0], static_cast<std::int32_t>(program.size()));
    EXPECT_EQ(t.sizes[1], static_cast<std::int32_t>(help.size()));
    EXPECT_EQ(t.marker, SETUP_MARKER);
    EXPECT_EQ(SubtractFromChecksum(t.checksum, package.data(), program.size() + help.size()), 0u);
    EXPECT_TRUE(SetupPackageSound(package.data(), package.size(), kMachineI386));
    std::swap(t.sizes[0], t.sizes[1]);  // still adds up, and file 0 still starts as a program
    WriteSetupTrailer(t, package.data() + package.size() - 16);
    EXPECT_FALSE(SetupPackageSound(package.data(), package.size(), kMachineI386));

    // What the program would refuse to install is not built.
    const std::vector<Bytes> refused[] = {
        {program},  // the table has two files
        {program, Bytes()},
        {help, help},
        {program, program},
        {Program(0x01C4), help},  // a PE image for a machine no build of the program is for
    };
    for (const std::vector<Bytes>& files : refused) {
        EXPECT_FALSE(pkgbuild::BuildPackage(files, package, error)) << files.size();
        EXPECT_FALSE(error.empty());
    }
}

// Runs qdxpkg with arguments; its exit status, stderr in *errors.
int RunTool(const std::string& arguments, std::string* errors) {
    const std::string errorFile = ::testing::TempDir() + "pkg_errors.txt";
    const int status = std::system((std::string(QDXPKG_EXE) + " " + arguments + " 2>" + errorFile).c_str());
    Bytes text;
    pkgbuild::ReadFile(errorFile, text);
    *errors = std::string(text.begin(), text.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PackageBuilder, ToolWritesThePackage) {
    const std::string dir = ::testing::TempDir();
    const std::string exe = dir + "pkg_prog.exe", hlp = dir + "pkg_help.hlp", out = dir + "pkg_setup.exe";
    const std::string empty = dir + "pkg_empty.hlp", missing = dir + "pkg_missing.hlp";
    ASSERT_TRUE(pkgbuild::WriteFile(exe, Program(kMachineAmd64)));
    ASSERT_TRUE(pkgbuild::WriteFile(hlp, Help()));
    ASSERT_TRUE(pkgbuild::WriteFile(empty, Bytes()));
    std::remove(missing.c_str());
    std::remove(out.c_str());
    std::string errors;
    ASSERT_EQ(0, RunTool("-o " + out + " " + exe + " " + hlp, &errors)) << errors;
    Bytes written, expected;
    std::string error;
    ASSERT_TRUE(pkgbuild::ReadFile(out, written));
    ASSERT_TRUE(pkgbuild::BuildPackage({Program(kMachineAmd64), Help()}, expected, error));
    EXPECT_EQ(written, expected);

    // Refusals: exit status 1, one line naming the input at fault (or the
    // tool), nothing written.
    struct Case { std::string inputs, named; } cases[] = {
        {exe, "qdxpkg"},  // a wrong number of files
        {exe + " " + dir, dir},
        {exe + " " + missing, missing},
        {exe + " " + empty, "qdxpkg"},
    };
    for (const Case& c : cases) {
        std::remove(out.c_str());
        EXPECT_EQ(1, RunTool("-o " + out + " " + c.inputs, &errors)) << c.inputs;
        EXPECT_EQ(errors.rfind(c.named + ": error: ", 0), 0u) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_FALSE(pkgbuild::ReadFile(out, written)) << c.inputs;
    }
}

}  // namespace
