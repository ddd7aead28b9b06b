#include "hlpformat.h"

#include <cstdio>

namespace helpc {

std::uint32_t ContextHash(const std::string& context) {
    if (context.empty()) return 1;
    std::uint32_t hash = 0;
    for (unsigned char c : context) {
        std::uint32_t value = 0;
        if (c >= 'A' && c <= 'Z') value = 17u + (c - 'A');
        else if (c >= 'a' && c <= 'z') value = 17u + (c - 'a');
        else if (c >= '1' && c <= '9') value = c - '0';
        else if (c == '0') value = 10;
        else if (c == '.') value = 12;
        else if (c == '_') value = 13;
        else value = static_cast<std::uint32_t>(static_cast<std::int8_t>(c - 0x30));
        hash = hash * 43u + value;
    }
    return hash;
}

void PutU8(Bytes& out, std::uint8_t v) { out.push_back(v); }

void PutU16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutBytes(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

void PutStringZ(Bytes& out, const std::string& s) {
    PutBytes(out, s);
    out.push_back(0);
}

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string HexText(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

bool PutCUShort(Bytes& out, std::uint32_t v) {
    if (v < 128) {
        PutU8(out, static_cast<std::uint8_t>(v * 2));
        return true;
    }
    if (v < 32768) {
        PutU16(out, static_cast<std::uint16_t>(v * 2 + 1));
        return true;
    }
    return false;
}

bool PutCSShort(Bytes& out, std::int32_t v) {
    if (v >= -64 && v < 64) {
        PutU8(out, static_cast<std::uint8_t>((v + 64) * 2));
        return true;
    }
    if (v >= -16384 && v < 16384) {
        PutU16(out, static_cast<std::uint16_t>((v + 16384) * 2 + 1));
        return true;
    }
    return false;
}

bool PutCSLong(Bytes& out, std::int32_t v) {
    if (v < -16384 || v >= 16384) return false;
    PutU16(out, static_cast<std::uint16_t>((v + 16384) * 2));
    return true;
}

}  // namespace helpc
