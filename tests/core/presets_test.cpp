// The settings an installer package presets: what is refused, and the text
// stored for what is accepted.
#include <gtest/gtest.h>

#include <string>

#include "core/presets.h"

namespace {

using qdx::PresetKind;

TEST(Presets, SettingTextTable) {
    const std::string long260(260, 'x');
    struct Case {
        PresetKind kind;
        const char* given;
        const char* stored;  // null: refused
    } cases[] = {
        {PresetKind::kServer, "rec7:264", "rec7:264"},
        {PresetKind::kServer, "recorder", "recorder"},
        {PresetKind::kServer, "rec7:65535", "rec7:65535"},
        {PresetKind::kServer, "rec7:0", nullptr},
        {PresetKind::kServer, "rec7:65536", nullptr},
        {PresetKind::kServer, "rec7:26x", nullptr},
        {PresetKind::kServer, ":264", nullptr},
        {PresetKind::kServer, "[::1]:264", nullptr},
        {PresetKind::kChannel, "1", "0"},
        {PresetKind::kChannel, "32", "31"},
        {PresetKind::kChannel, "07", "6"},
        {PresetKind::kChannel, "0", nullptr},
        {PresetKind::kChannel, "33", nullptr},
        {PresetKind::kChannel, "-1", nullptr},
        {PresetKind::kChannel, " 5", nullptr},
        {PresetKind::kChannel, "99999999999", nullptr},
        {PresetKind::kFlag, "0", "0"},
        {PresetKind::kFlag, "1", "1"},
        {PresetKind::kFlag, "yes", nullptr},
        {PresetKind::kFlag, "10", nullptr},
        {PresetKind::kText, "#secret [x]", "#secret [x]"},
        {PresetKind::kText, long260.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        char out[qdx::kTextSize] = "untouched";
        EXPECT_EQ(qdx::PresetSettingText(c.kind, c.given, out), c.stored != nullptr) << c.given;
        EXPECT_STREQ(out, c.stored ? c.stored : "untouched") << c.given;
    }
}

TEST(Presets, RegistryTableTextDoublesALeadingHash) {
    char out[qdx::kTextSize];
    ASSERT_TRUE(qdx::RegistryTableText("#1", out));
    EXPECT_STREQ(out, "##1");
    ASSERT_TRUE(qdx::RegistryTableText("a#1", out));
    EXPECT_STREQ(out, "a#1");
    EXPECT_FALSE(qdx::RegistryTableText(("#" + std::string(258, 'p')).c_str(), out));
}

}  // namespace
