// Encoders of the file format against the published test vectors.
#include "hlpformat.h"

#include <gtest/gtest.h>

namespace helpc {
namespace {

TEST(ContextHash, MatchesPublishedVectors) {
    EXPECT_EQ(ContextHash("a"), 0x11u);
    EXPECT_EQ(ContextHash("A1"), 0x2DCu);
    EXPECT_EQ(ContextHash("IDH_CONTENTS"), 0x68310BEEu);
    EXPECT_EQ(ContextHash("IDH_SETTINGS"), 0x7F631083u);
    EXPECT_EQ(ContextHash("idh_settings"), 0x7F631083u);  // case folds
    EXPECT_EQ(static_cast<std::int32_t>(ContextHash("IDH_INSTALLATION")), -1616329850);
    EXPECT_EQ(ContextHash(""), 1u);
    // '0' is 10 and '.' 12, so "0" and "9." differ from "9" and from each other.
    EXPECT_EQ(ContextHash("0"), 10u);
    EXPECT_EQ(ContextHash("9."), 9u * 43u + 12u);
}

TEST(CompressedIntegers, MatchPublishedVectors) {
    Bytes b;
    ASSERT_TRUE(PutCUShort(b, 5));
    EXPECT_EQ(b, (Bytes{0x0A}));
    b.clear();
    ASSERT_TRUE(PutCUShort(b, 200));
    EXPECT_EQ(b, (Bytes{0x91, 0x01}));
    b.clear();
    ASSERT_TRUE(PutCSShort(b, 6));
    EXPECT_EQ(b, (Bytes{0x8C}));
    b.clear();
    ASSERT_TRUE(PutCSShort(b, -100));
    EXPECT_EQ(b, (Bytes{0x39, 0x7F}));
    b.clear();
    ASSERT_TRUE(PutCSLong(b, 11));
    EXPECT_EQ(b, (Bytes{0x16, 0x80}));
}

TEST(CompressedIntegers, RefuseValuesOutOfRange) {
    Bytes b;
    EXPECT_FALSE(PutCUShort(b, 32768));
    EXPECT_FALSE(PutCSShort(b, 16384));
    EXPECT_FALSE(PutCSShort(b, -16385));
    EXPECT_FALSE(PutCSLong(b, 16384));
    EXPECT_TRUE(b.empty());
    // The edges of each form still fit.
    EXPECT_TRUE(PutCUShort(b, 127));
    EXPECT_EQ(b.size(), 1u);
    EXPECT_TRUE(PutCUShort(b, 128));
    EXPECT_EQ(b.size(), 3u);
}

TEST(TopicAddresses, ShiftBlockNumbers) {
    EXPECT_EQ(MakeTopicPos(0, 0), 0x0Cu);
    EXPECT_EQ(MakeTopicPos(2, 100), 2u * 0x4000u + 12u + 100u);
    EXPECT_EQ(MakeTopicOffset(2, 0x42), 0x10042u);
}

}  // namespace
}  // namespace helpc
