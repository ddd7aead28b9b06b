// The package format as the program reads it and qdxpkg writes it: checksum,
// trailer, the check of sizes against the package length, the setup name test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "pkgbuild.h"
#include "setup/package.h"

namespace {

using pkgbuild::Bytes;

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
    EXPECT_TRUE(SetupTrailerFits(t, 208351));
    EXPECT_FALSE(SetupTrailerFits(t, 208350));  // one byte cut out of the middle

    unsigned char back[16];
    WriteSetupTrailer(t, back);
    EXPECT_EQ(0, memcmp(back, bytes, sizeof bytes));
    EXPECT_FALSE(ParseSetupTrailer(bytes, 0, t));
    EXPECT_FALSE(ParseSetupTrailer(bytes, kMaxSetupFiles + 1, t));
}

TEST(PackageFormat, SizesAgainstPackageLength) {
    struct Case { std::vector<std::int32_t> sizes; std::uint64_t length; std::uint64_t payload; bool fits; } cases[] = {
        {{10, 5}, 31, 15, true},
        {{10, 0}, 26, 10, true},                       // size 0: no such file
        {{10, -3}, 26, 10, true},                      // negative: no such file either
        {{0, 0}, 15, 0, false},                        // shorter than the trailer
        {{0, 0}, 16, 0, true},
        {{0x7FFFFFFF, 0x7FFFFFFF}, 40, 0xFFFFFFFEull, false},
        // Sums that wrap in 32 bits must not pass as small.
        {{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 3}, 24 + 2, 0x180000000ull, false},
    };
    for (const Case& c : cases) {
        SetupTrailer t = Trailer(c.sizes);
        EXPECT_EQ(SetupPayloadSize(t), c.payload);
        EXPECT_EQ(SetupTrailerFits(t, c.length), c.fits) << c.length;
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

TEST(PackageBuilder, LayoutAndRefusals) {
    const Bytes program = Text("MZprogram"), help = Text("abc");
    Bytes package;
    std::string error;
    ASSERT_TRUE(pkgbuild::BuildPackage({program, help}, package, error)) << error;
    ASSERT_EQ(package.size(), program.size() + help.size() + SetupTrailerSize(2));
    EXPECT_TRUE(std::equal(program.begin(), program.end(), package.begin()));
    SetupTrailer t;
    ASSERT_TRUE(ParseSetupTrailer(package.data() + package.size() - 16, 2, t));
    EXPECT_EQ(t.sizes[0], 9);
    EXPECT_EQ(t.sizes[1], 3);
    EXPECT_EQ(t.marker, SETUP_MARKER);
    EXPECT_EQ(SubtractFromChecksum(t.checksum, package.data(), 12), 0u);
    EXPECT_TRUE(SetupTrailerFits(t, package.size()));

    EXPECT_FALSE(pkgbuild::BuildPackage({program}, package, error));  // the table has two files
    EXPECT_FALSE(pkgbuild::BuildPackage({program, Bytes()}, package, error));
}

TEST(PackageBuilder, ToolWritesThePackage) {
    const std::string dir = ::testing::TempDir();
    const std::string exe = dir + "pkg_prog.exe", hlp = dir + "pkg_help.hlp", out = dir + "pkg_setup.exe";
    ASSERT_TRUE(pkgbuild::WriteFile(exe, Text("MZprogram")));
    ASSERT_TRUE(pkgbuild::WriteFile(hlp, Text("abc")));
    std::remove(out.c_str());
    ASSERT_EQ(0, std::system((std::string(QDXPKG_EXE) + " -o " + out + " " + exe + " " + hlp).c_str()));
    Bytes written, expected;
    std::string error;
    ASSERT_TRUE(pkgbuild::ReadFile(out, written));
    ASSERT_TRUE(pkgbuild::BuildPackage({Text("MZprogram"), Text("abc")}, expected, error));
    EXPECT_EQ(written, expected);
    // A wrong number of files is refused and writes nothing.
    std::remove(out.c_str());
    EXPECT_NE(0, std::system((std::string(QDXPKG_EXE) + " -o " + out + " " + exe + " 2>/dev/null").c_str()));
    EXPECT_FALSE(pkgbuild::ReadFile(out, written));
}

}  // namespace
