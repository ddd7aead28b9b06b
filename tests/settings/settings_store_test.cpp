// Settings store against the real registry: defaults, parsing of numbers and
// flags, the stored form, and values that are too long or not text at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "settings/settings.h"
#include "files.h"
#include "registry.h"

namespace {

// Each test works in a section of its own and removes it at the end.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        section_ = "StoreTest" + std::to_string(GetCurrentProcessId());
        keyPath_ = "Software\\Tallowind\\QDXRemote\\" + section_;
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyPath_.c_str()); }

    const char* Section() const { return section_.c_str(); }
    void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // ReadSetting into a buffer followed by guard bytes that must stay untouched.
    std::string Read(const char* name, const char* defaultText) {
        struct {
            char text[qdx::kTextSize];
            char guard[64];
        } buffer;
        memset(&buffer, 'G', sizeof buffer);
        ReadSetting(Section(), name, defaultText, buffer.text);
        for (char g : buffer.guard) EXPECT_EQ(g, 'G') << "read past the 260-character buffer";
        EXPECT_LT(strnlen(buffer.text, sizeof buffer.text), sizeof buffer.text) << "unterminated result";
        return std::string(buffer.text, strnlen(buffer.text, sizeof buffer.text));
    }

    qdxtest::ProductKeyGuard product_;
    std::string section_;
    std::string keyPath_;
};

TEST(SettingsDefaults, NoProductKeyGivesTheTableDefaults) {
    qdxtest::ProductKeyGuard product;
    qdxtest::RegKeySnapshot settings(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Tallowind\\QDXRemote\\Settings");

    char text[qdx::kTextSize];
    ReadSetting(kSectionSettings, kSettingServer, kDefaultServer, text);
    EXPECT_STREQ(text, "");
    ReadSetting(kSectionSettings, kSettingServer, kDefaultServerInDialog, text);
    EXPECT_STREQ(text, "localhost");
    EXPECT_EQ(ReadSettingInt(kSectionSettings, kSettingRecordChannel, kDefaultRecordChannel), 0);
    ReadSetting(kSectionSettings, kSettingUserName, kDefaultUserName, text);
    EXPECT_STREQ(text, "");
    ReadSetting(kSectionSettings, kSettingPassword, kDefaultPassword, text);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(ReadSettingBool(kSectionSettings, kSettingPromptForData, kDefaultPromptForData));
    EXPECT_TRUE(ReadSettingBool(kSectionSettings, kSettingUseHotKeys, kDefaultUseHotKeys));
    ReadSetting(kSectionSettings, kSettingPrompt, kDefaultPrompt, text);
    EXPECT_STREQ(text, "Enter file number");
    ReadSetting(kSectionSettings, kSettingPromptPrevious, kDefaultPromptPrevious, text);
    EXPECT_STREQ(text, "");
}

TEST_F(SettingsStore, TextRoundTripAndEmptyValueStaysEmpty) {
    EXPECT_EQ(Read("Server", "localhost"), "localhost");
    WriteSetting(Section(), "Server", "recorder:2640");
    EXPECT_EQ(Read("Server", "localhost"), "recorder:2640");
    WriteSetting(Section(), "Server", "other");  // nothing cached: the next read sees the new text
    EXPECT_EQ(Read("Server", "localhost"), "other");
    WriteSetting(Section(), "Server", "");
    EXPECT_EQ(Read("Server", "localhost"), "");
    EXPECT_EQ(ReadSettingInt(Section(), "Server", 5), 5);
    EXPECT_TRUE(ReadSettingBool(Section(), "Server", true));
    EXPECT_FALSE(ReadSettingBool(Section(), "Server", false));
}

TEST_F(SettingsStore, StoredFormIsTextWithItsTerminator) {
    WriteSettingInt(Section(), "RecordChannel", 7);
    WriteSettingInt(Section(), "Negative", -1);
    WriteSettingBool(Section(), "On", true);
    WriteSettingBool(Section(), "Off", false);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    struct Expect {
        const char* name;
        const char* text;
    } cases[] = {{"RecordChannel", "7"}, {"Negative", "-1"}, {"On", "1"}, {"Off", "0"}};
    for (const auto& c : cases) {
        char data[16] = {};
        DWORD type = 0, size = sizeof data;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << c.name;
        EXPECT_EQ(size, strlen(c.text) + 1) << c.name;
        EXPECT_STREQ(data, c.text);
    }
    RegCloseKey(key);
    EXPECT_EQ(ReadSettingInt(Section(), "RecordChannel", 0), 7);
    EXPECT_EQ(ReadSettingInt(Section(), "Negative", 0), -1);
}

TEST_F(SettingsStore, IntegersParseLikeDecimalText) {
    struct {
        const char* stored;
        int expected;
    } cases[] = {
        {" 7", 7}, {"-1", -1}, {"abc", 0}, {"+12", 12}, {"12abc", 12}, {"  -0", 0},
        {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},  // held at the ends, not wrapped
    };
    for (const auto& c : cases) {
        WriteSetting(Section(), "Number", c.stored);
        EXPECT_EQ(ReadSettingInt(Section(), "Number", 42), c.expected) << '"' << c.stored << '"';
    }
    EXPECT_EQ(ReadSettingInt(Section(), "Missing", 42), 42);
}

TEST_F(SettingsStore, FlagsAreFalseOnlyForALeadingZeroDigit) {
    struct {
        const char* stored;
        bool expected;
    } cases[] = {{"1", true}, {"0", false}, {"false", true}, {"0abc", false}, {" 0", true}, {"no", true}};
    for (const auto& c : cases) {
        WriteSetting(Section(), "Flag", c.stored);
        EXPECT_EQ(ReadSettingBool(Section(), "Flag", !c.expected), c.expected) << '"' << c.stored << '"';
    }
    EXPECT_TRUE(ReadSettingBool(Section(), "Missing", true));
    EXPECT_FALSE(ReadSettingBool(Section(), "Missing", false));
}

TEST_F(SettingsStore, ValueMustFitWithItsTerminator) {
    std::string fits(259, 'a');
    std::string tooLong(260, 'b');
    WriteSetting(Section(), "Fits", fits.c_str());
    WriteSetting(Section(), "TooLong", tooLong.c_str());
    EXPECT_EQ(Read("Fits", "default"), fits);
    EXPECT_EQ(Read("TooLong", "default"), "default");
    EXPECT_EQ(ReadSettingInt(Section(), "TooLong", 3), 3);
}

// How stored bytes decode is the core's table (DecodeRegistryText); here the
// values reach it through the registry: not text, larger than the buffer,
// filling it without a terminator, lacking one, and unexpanded.
TEST_F(SettingsStore, StoredValuesReachTheDecoderAsTheyAre) {
    DWORD number = 0x00333231;  // the bytes "123\0": still not text
    SetRaw("Dword", REG_DWORD, &number, sizeof number);
    std::string bigBinary(300, 'x');
    SetRaw("BigBinary", REG_BINARY, bigBinary.data(), static_cast<DWORD>(bigBinary.size()));
    std::string full(260, 'd');
    SetRaw("Full", REG_SZ, full.data(), 260);
    SetRaw("Short", REG_SZ, "abc", 3);
    SetRaw("Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);

    EXPECT_EQ(Read("Dword", "default"), "default");
    EXPECT_EQ(ReadSettingInt(Section(), "Dword", 9), 9);
    EXPECT_EQ(Read("BigBinary", "default"), "default");
    EXPECT_EQ(Read("Full", "default"), "default");
    EXPECT_EQ(Read("Short", "default"), "abc");
    EXPECT_EQ(ReadSettingInt(Section(), "Short", 1), 0);
    EXPECT_EQ(Read("Expand", "default"), "%TEMP%\\x");  // text, taken as stored
}

TEST_F(SettingsStore, SectionNameThatCannotFormAKeyPathIsIgnored) {
    std::string longSection(300, 's');
    WriteSetting(longSection.c_str(), "Value", "x");
    char text[qdx::kTextSize];
    ReadSetting(longSection.c_str(), "Value", "default", text);
    EXPECT_STREQ(text, "default");
}

}  // namespace
