// Registry text values from their stored type and bytes: only text types,
// terminated where the bytes lack it, refused when it does not fit, the
// output untouched on failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/registrytext.h"

namespace {

constexpr std::uint32_t kBinary = 3, kDword = 4, kMultiText = 7;  // the registry's numbers

TEST(RegistryText, DecodeTable) {
    const std::string almost(259, 'c'), full(260, 'd');
    struct Case {
        const char* name;
        std::uint32_t type;
        std::string bytes;
        const char* text;  // null: refused
    } cases[] = {
        {"text", qdx::kRegistryText, std::string("recorder:2640\0", 14), "recorder:2640"},
        {"no bytes", qdx::kRegistryText, "", ""},
        {"unexpanded", qdx::kRegistryExpandText, std::string("%TEMP%\\x\0", 9), "%TEMP%\\x"},
        {"no terminator", qdx::kRegistryText, "abc", "abc"},
        {"259 without terminator", qdx::kRegistryText, almost, almost.c_str()},
        {"260 without terminator", qdx::kRegistryText, full, nullptr},
        {"ends at the first zero", qdx::kRegistryText, std::string("ab\0cd", 5), "ab"},
        {"binary", kBinary, std::string("abc\0", 4), nullptr},
        {"number", kDword, std::string("123\0", 4), nullptr},
        {"several texts", kMultiText, std::string("a\0b\0", 5), nullptr},
    };
    for (const Case& c : cases) {
        struct {
            char text[260];
            char guard[16];
        } out;
        std::memset(&out, 'G', sizeof out);
        const bool decoded = qdx::DecodeRegistryText(c.type, c.bytes.data(), c.bytes.size(), out.text,
                                                     sizeof out.text);
        ASSERT_EQ(decoded, c.text != nullptr) << c.name;
        if (decoded) {
            EXPECT_STREQ(out.text, c.text) << c.name;
        } else {
            EXPECT_EQ(out.text[0], 'G') << c.name << ": output changed on failure";
        }
        EXPECT_EQ(std::string(out.guard, sizeof out.guard), std::string(sizeof out.guard, 'G')) << c.name;
    }
}

}  // namespace
