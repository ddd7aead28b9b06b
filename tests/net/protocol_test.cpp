// The protocol's byte-level decisions, table-driven.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/protocol.h"

namespace {

std::vector<unsigned char> Login(const char* user, const char* password) {
    unsigned char buffer[kLoginRequestMax];
    std::size_t n = BuildLoginRequest(user, password, buffer);
    return std::vector<unsigned char>(buffer, buffer + n);
}

}  // namespace

TEST(Protocol, LoginRequestLayout) {
    EXPECT_EQ(Login("", ""), (std::vector<unsigned char>{0xE2, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Login(nullptr, nullptr), (std::vector<unsigned char>{0xE2, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Login("ab", "xyz"), (std::vector<unsigned char>{0xE2, 0x00, 2, 3, 'a', 'b', 'x', 'y', 'z'}));
    EXPECT_EQ(Login("", "pw"), (std::vector<unsigned char>{0xE2, 0x00, 0, 2, 'p', 'w'}));
    // Bytes are passed on as stored, high ones included.
    EXPECT_EQ(Login("\xE9", ""), (std::vector<unsigned char>{0xE2, 0x00, 1, 0, 0xE9}));
}

TEST(Protocol, LoginFieldsAreCutTo255) {
    struct Case {
        std::size_t userLength, passwordLength, u, p;
    } cases[] = {{254, 0, 254, 0}, {255, 255, 255, 255}, {256, 1, 255, 1}, {258, 259, 255, 255}, {0, 300, 0, 255}};
    for (const Case& c : cases) {
        std::string user(c.userLength, 'u'), password(c.passwordLength, 'p');
        std::vector<unsigned char> bytes = Login(user.c_str(), password.c_str());
        SCOPED_TRACE(c.userLength);
        ASSERT_EQ(bytes.size(), 4 + c.u + c.p);
        EXPECT_EQ(bytes[2], c.u);
        EXPECT_EQ(bytes[3], c.p);
        EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 4 + c.u), std::string(c.u, 'u'));
        EXPECT_EQ(std::string(bytes.begin() + 4 + c.u, bytes.end()), std::string(c.p, 'p'));
    }
}

TEST(Protocol, ReplyDecision) {
    struct Case {
        unsigned char first, second;
        LoginOutcome outcome;
    } cases[] = {
        {0xFF, 0x00, LoginOutcome::kAccepted},       {0xFF, 0x07, LoginOutcome::kAccepted},
        {0x01, 0x00, LoginOutcome::kVersionNotSupported}, {0x02, 0xFF, LoginOutcome::kNotAccepted},
        {0x00, 0xFF, LoginOutcome::kInvalidReply},   {0x03, 0x00, LoginOutcome::kInvalidReply},
        {0xFE, 0x00, LoginOutcome::kInvalidReply},   {0xE2, 0x00, LoginOutcome::kInvalidReply},
    };
    for (const Case& c : cases) {
        const unsigned char reply[kLoginReplySize] = {c.first, c.second};
        EXPECT_EQ(DecideLoginReply(reply), c.outcome) << int(c.first) << " " << int(c.second);
    }
}

TEST(Protocol, RecordRequest) {
    struct Case {
        int channel;
        unsigned char sent;
    } channels[] = {{0, 0}, {5, 5}, {31, 31}, {32, 31}, {40, 31}, {-1, 0}, {-1000, 0}, {0x7FFFFFFF, 31}};
    for (const Case& c : channels) EXPECT_EQ(BuildRecordRequest(c.channel, "x").channel, c.sent) << c.channel;

    RecordRequest empty = BuildRecordRequest(3, "");
    EXPECT_EQ(empty.length, 0);
    RecordRequest none = BuildRecordRequest(3, nullptr);
    EXPECT_EQ(none.length, 0);
    ASSERT_NE(none.data, nullptr);

    RecordRequest some = BuildRecordRequest(3, "F-1234");
    EXPECT_EQ(some.length, 6);
    EXPECT_EQ(std::string(some.data, some.length), "F-1234");

    std::string longData(259, 'd');
    RecordRequest cut = BuildRecordRequest(3, longData.c_str());
    EXPECT_EQ(cut.length, 255);
}
