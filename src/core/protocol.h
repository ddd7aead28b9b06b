// The recorder control protocol as plain functions over bytes: what the client
// sends and how it reads the server's login reply. No sockets here.
#pragma once

#include <cstddef>

constexpr unsigned char kLoginRequestCode = 0xE2;
constexpr std::size_t kMaxFieldLength = 255;  // texts travel with a one-byte length
constexpr std::size_t kLoginHeaderSize = 4;
constexpr std::size_t kLoginRequestMax = kLoginHeaderSize + 2 * kMaxFieldLength;
constexpr std::size_t kLoginReplySize = 2;
constexpr int kHighestRecordChannel = 31;

// Fills out with E2 00 U P, the first U bytes of user and the first P bytes of
// password (each length cut to 255; a null text counts as empty). Returns 4+U+P.
std::size_t BuildLoginRequest(const char* user, const char* password, unsigned char (&out)[kLoginRequestMax]);

enum class LoginOutcome {
    kAccepted,             // 255: go on with the record request
    kVersionNotSupported,  // 1
    kNotAccepted,          // 2: user name or password refused
    kInvalidReply,         // anything else
};
// Decides on the first byte of the 2-byte reply; the second byte is ignored.
LoginOutcome DecideLoginReply(const unsigned char (&reply)[kLoginReplySize]);

// The record request goes out as three sends: channel, data length, data.
struct RecordRequest {
    unsigned char channel;  // 0..31
    unsigned char length;   // 0..255
    const char* data;       // the first `length` bytes of the record data
};
// Clamps the channel to 0..31 and cuts the record data to 255 bytes.
RecordRequest BuildRecordRequest(int channel, const char* recordData);
