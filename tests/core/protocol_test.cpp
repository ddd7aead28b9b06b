// The protocol's byte-level decisions and the server text's host and port, table-driven.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/hostport.h"
#include "core/protocol.h"

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

TEST(SplitHostPort, Table) {
    // port 0 marks a refused server text: no connection may be tried with it.
    struct Case {
        const char* server;
        const char* host;
        unsigned short port;
    } cases[] = {
        {"recorder", "recorder", 264},
        {"10.1.2.3:5000", "10.1.2.3", 5000},
        {"host:1", "host", 1},
        {"host:65535", "host", 65535},
        {"host:0080", "host", 80},
        {"", "", 264},
        {":7", "", 7},
        // Anything but 1..65535 in plain digits is refused, not wrapped or cut short.
        {"recorder:", "recorder", 0},
        {"host:0", "host", 0},
        {"host:65536", "host", 0},
        {"host:65800", "host", 0},  // would wrap to 264
        {"host:99999999999999999999", "host", 0},
        {"host:80abc", "host", 0},
        {"host:12:34", "host", 0},
        {"host:-1", "host", 0},
        {"host:+80", "host", 0},
        {"host:000080", "host", 0},
        {"host:8 0", "host", 0},
        {"host:\t", "host", 0},
        // Blanks around the host and the digits are taken.
        {"host: 264", "host", 264},
        {"host:264 ", "host", 264},
        {" host \t:\t 80 ", "host", 80},
        {"  host  ", "host", 264},
        // The link is IPv4 only.
        {"[::1]:264", "[::1]", 0},
        {"[::1]", "[::1]", 0},
        {"fe80::1", "fe80", 0},
    };
    for (const Case& c : cases) {
        char host[qdx::kTextSize] = "garbage";
        unsigned short port = 1;
        EXPECT_EQ(SplitHostPort(c.server, host, 264, port), c.port != 0) << c.server;
        EXPECT_EQ(port, c.port) << c.server;
        if (c.port) {
            EXPECT_STREQ(host, c.host) << c.server;
        }
    }
    char host[qdx::kTextSize];
    unsigned short port = 0;
    EXPECT_TRUE(SplitHostPort(nullptr, host, 264, port));
    EXPECT_EQ(port, 264);
    EXPECT_STREQ(host, "");
    std::string longServer(300, 'h');
    SplitHostPort(longServer.c_str(), host, 264, port);
    EXPECT_EQ(strlen(host), qdx::kTextSize - 1);
}
