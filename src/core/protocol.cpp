#include "core/protocol.h"

#include <cstring>

namespace {

std::size_t FieldLength(const char* text) { return text ? ::strnlen(text, kMaxFieldLength) : 0; }

}  // namespace

std::size_t BuildLoginRequest(const char* user, const char* password, unsigned char (&out)[kLoginRequestMax]) {
    std::size_t u = FieldLength(user);
    std::size_t p = FieldLength(password);
    out[0] = kLoginRequestCode;
    out[1] = 0;
    out[2] = static_cast<unsigned char>(u);
    out[3] = static_cast<unsigned char>(p);
    if (u) memcpy(out + kLoginHeaderSize, user, u);
    if (p) memcpy(out + kLoginHeaderSize + u, password, p);
    return kLoginHeaderSize + u + p;
}

LoginOutcome DecideLoginReply(const unsigned char (&reply)[kLoginReplySize]) {
    switch (reply[0]) {
        case 255: return LoginOutcome::kAccepted;
        case 1: return LoginOutcome::kVersionNotSupported;
        case 2: return LoginOutcome::kNotAccepted;
        default: return LoginOutcome::kInvalidReply;
    }
}

RecordRequest BuildRecordRequest(int channel, const char* recordData) {
    RecordRequest request;
    if (channel < 0) channel = 0;
    if (channel > kHighestRecordChannel) channel = kHighestRecordChannel;
    request.channel = static_cast<unsigned char>(channel);
    request.length = static_cast<unsigned char>(FieldLength(recordData));
    request.data = recordData ? recordData : "";
    return request;
}
