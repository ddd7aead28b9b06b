#include "session.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace qdxrec {

namespace {

using Clock = std::chrono::steady_clock;

const uint8_t kLoginCode = 0xE2;
const uint8_t kAccepted = 0xFF;
const uint8_t kRefused = 0x02;
const size_t kLoginHeader = 4;
const size_t kRecordHeader = 2;
const size_t kFloodChunk = 4096;
// In flood mode there is no real period; the envelope still needs a step.
const int kFloodStepMs = 10;
const size_t kLoggedExtraBytes = 16;

enum class ReadStatus { Ok, Closed, Timeout };

int MsUntil(Clock::time_point t) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

class Session {
public:
    Session(const Config& cfg, Logger& log, qsock::OwnedSocket sock, unsigned long id)
        : cfg_(cfg), log_(log), sock_(std::move(sock)), id_(id),
          envelope_(cfg.seed + static_cast<uint32_t>(id)) {}

    // Returns the reason the session ended.
    const char* Run();
    unsigned long long Levels() const { return levels_; }
    // Milliseconds from the record request to now, or -1 when none was read.
    long long RecordedMs() const {
        if (!recorded_) return -1;
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - recordStart_).count();
    }
    void Close() { sock_.Reset(); }
    void Log(const std::string& text) { log_.Line("session " + std::to_string(id_) + " " + text); }

private:
    ReadStatus ReadExact(std::vector<uint8_t>& buf, size_t n);
    bool WaitForClose(int timeoutMs);
    const char* Hold();
    const char* EndAfterLevels();
    unsigned long long LevelLimit() const;
    const char* ReadLogin(bool* accepted);
    const char* SendReply(uint8_t code);
    const char* ReadRecord();
    const char* StreamLevels();
    const char* Flood();
    uint8_t NextLevel(int stepMs);
    uint8_t MutedLevel(uint8_t level);

    const Config& cfg_;
    Logger& log_;
    qsock::OwnedSocket sock_;
    unsigned long id_;
    SpeechEnvelope envelope_;
    unsigned long long levels_ = 0;
    size_t cyclePos_ = 0;
    bool extraLogged_ = false;
    bool recorded_ = false;  // the record request was read, at recordStart_
    Clock::time_point recordStart_;
    bool muted_ = false;
};

// Appends n more bytes to buf; every wait for data is limited by the read
// time-out, so lengths that promise more than arrives cannot hang a thread.
ReadStatus Session::ReadExact(std::vector<uint8_t>& buf, size_t n) {
    size_t want = buf.size() + n;
    uint8_t chunk[256];
    while (buf.size() < want) {
        size_t ask = want - buf.size();
        if (ask > sizeof chunk) ask = sizeof chunk;
        int r = qsock::RecvSome(sock_.Get(), chunk, ask, cfg_.readTimeoutMs);
        if (r == qsock::kTimeout) return ReadStatus::Timeout;
        if (r <= 0) return ReadStatus::Closed;
        buf.insert(buf.end(), chunk, chunk + r);
    }
    return ReadStatus::Ok;
}

// Waits up to timeoutMs (< 0: no limit) for the client to go away, throwing
// away anything it sends meanwhile. True when the client closed or reset.
// A server that reads nothing cannot see a close (the client's unread bytes
// stand before the end of the stream): it just lets the time pass.
bool Session::WaitForClose(int timeoutMs) {
    if (cfg_.noRead) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs < 0 ? cfg_.readTimeoutMs : timeoutMs));
        return false;
    }
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    uint8_t scratch[512];
    for (;;) {
        int wait = timeoutMs < 0 ? -1 : MsUntil(deadline);
        int r = qsock::RecvSome(sock_.Get(), scratch, sizeof scratch, wait);
        if (r == qsock::kTimeout) return false;
        if (r <= 0) return true;
        if (!extraLogged_) {
            extraLogged_ = true;
            size_t shown = static_cast<size_t>(r) < kLoggedExtraBytes ? static_cast<size_t>(r) : kLoggedExtraBytes;
            Log("unexpected " + std::to_string(r) + " bytes from client (ignored) " +
                HexBytes(scratch, shown));
        }
        if (timeoutMs >= 0 && MsUntil(deadline) == 0) return false;
    }
}

const char* Session::ReadLogin(bool* accepted) {
    std::vector<uint8_t> req;
    ReadStatus st = ReadExact(req, 1);
    if (st == ReadStatus::Ok && req[0] == kLoginCode) st = ReadExact(req, kLoginHeader - 1);
    if (!req.empty() && req[0] != kLoginCode) {
        Log("garbage login request bytes " + HexBytes(req.data(), req.size()));
        return "malformed-login";
    }
    if (st == ReadStatus::Ok) {
        st = ReadExact(req, static_cast<size_t>(req[2]) + req[3]);
    }
    if (st != ReadStatus::Ok) {
        if (req.empty() && st == ReadStatus::Closed) return "client-closed";
        size_t total = req.size() >= kLoginHeader ? kLoginHeader + req[2] + req[3] : kLoginHeader;
        Log("partial login-request " + std::to_string(req.size()) + " of " +
            std::to_string(total) + " bytes " + HexBytes(req.data(), req.size()));
        return st == ReadStatus::Timeout ? "read-timeout" : "short-login";
    }

    const size_t u = req[2];
    const size_t p = req[3];
    const uint8_t* name = req.data() + kLoginHeader;
    const uint8_t* pass = name + u;
    std::string hex = HexBytes(req.data(), kLoginHeader + u);
    for (size_t i = 0; i < p && cfg_.maskPassword; ++i) hex += " **";
    if (p > 0 && !cfg_.maskPassword) hex += " " + HexBytes(pass, p);
    Log("login user " + QuoteText(name, u) + " password-length " + std::to_string(p) +
        " bytes " + hex);

    *accepted = std::string(reinterpret_cast<const char*>(name), u) == cfg_.user &&
                std::string(reinterpret_cast<const char*>(pass), p) == cfg_.password;
    return nullptr;
}

const char* Session::SendReply(uint8_t code) {
    std::vector<uint8_t> reply = cfg_.replyBytes;
    if (reply.empty()) reply = {code, static_cast<uint8_t>(cfg_.replySecondByte)};
    if (cfg_.replyDelayMs > 0 && WaitForClose(cfg_.replyDelayMs)) return "client-closed";
    if (cfg_.replyBytewiseMs >= 0) {
        for (size_t i = 0; i < reply.size(); ++i) {
            if (i > 0 && WaitForClose(cfg_.replyBytewiseMs)) return "client-closed";
            if (qsock::SendAll(sock_.Get(), &reply[i], 1, cfg_.readTimeoutMs) != 1) return "client-closed";
        }
    } else if (qsock::SendAll(sock_.Get(), reply.data(), reply.size(), cfg_.readTimeoutMs) !=
               static_cast<int>(reply.size())) {
        return "client-closed";
    }
    const char* how = cfg_.replyCode >= 0 || !cfg_.replyBytes.empty() ? "forced"
                      : code == kAccepted                              ? "accepted"
                                                                       : "refused";
    Log("reply " + HexBytes(reply.data(), reply.size()) + " " + how);
    return nullptr;
}

// Keeps the connection, sending nothing, until the client goes (or, for a
// server that reads nothing and so cannot see that, for the read time-out).
const char* Session::Hold() {
    return WaitForClose(-1) ? "client-closed" : "read-timeout";
}

// The first level count at which --close-after, --reset-after or
// --silence-after ends the stream.
unsigned long long Session::LevelLimit() const {
    unsigned long long limit = ~0ULL;
    for (long long n : {cfg_.closeAfter, cfg_.resetAfter, cfg_.silenceAfter}) {
        if (n >= 0 && static_cast<unsigned long long>(n) < limit) limit = static_cast<unsigned long long>(n);
    }
    return limit;
}

// Ends the stream at the level limit, the way the options ask for.
const char* Session::EndAfterLevels() {
    if (cfg_.closeAfter >= 0 && levels_ >= static_cast<unsigned long long>(cfg_.closeAfter)) return "close-after";
    if (cfg_.resetAfter >= 0 && levels_ >= static_cast<unsigned long long>(cfg_.resetAfter)) {
        qsock::SetAbortiveClose(sock_.Get());
        return "reset";
    }
    Log("silent after " + std::to_string(levels_) + " levels");
    return Hold();
}

const char* Session::ReadRecord() {
    std::vector<uint8_t> req;
    ReadStatus st = ReadExact(req, kRecordHeader);
    if (st == ReadStatus::Ok) st = ReadExact(req, req[1]);
    if (st != ReadStatus::Ok) {
        size_t total = req.size() >= kRecordHeader ? kRecordHeader + req[1] : kRecordHeader;
        Log("partial record-request " + std::to_string(req.size()) + " of " +
            std::to_string(total) + " bytes " + HexBytes(req.data(), req.size()));
        return st == ReadStatus::Timeout ? "read-timeout" : "short-record";
    }
    Log("record channel " + std::to_string(req[0]) + " data " +
        QuoteText(req.data() + kRecordHeader, req[1]) + " bytes " + HexBytes(req.data(), req.size()));
    recorded_ = true;
    recordStart_ = Clock::now();
    return nullptr;
}

uint8_t Session::NextLevel(int stepMs) {
    if (!cfg_.levels.empty()) {
        uint8_t b = cfg_.levels[cyclePos_];
        cyclePos_ = (cyclePos_ + 1) % cfg_.levels.size();
        return b;
    }
    return static_cast<uint8_t>(static_cast<int8_t>(envelope_.Next(stepMs)));
}

// In the muted stretch (--mute-after-ms, --mute-for-ms, counted from the
// record request) only the lowest level goes out, as from a muted line; the
// log says when it starts and ends.
uint8_t Session::MutedLevel(uint8_t level) {
    if (cfg_.muteAfterMs < 0) return level;
    const long long ms = RecordedMs();
    const bool mute = ms >= cfg_.muteAfterMs && (cfg_.muteForMs < 0 || ms < cfg_.muteAfterMs + cfg_.muteForMs);
    if (mute != muted_) {
        muted_ = mute;
        Log(mute ? "muted at ms " + std::to_string(ms) : "sound again at ms " + std::to_string(ms));
    }
    return mute ? 0x81 : level;
}

const char* Session::StreamLevels() {
    const auto period = std::chrono::milliseconds(cfg_.levelMs);
    Clock::time_point next = Clock::now() + period;
    const unsigned long long limit = LevelLimit();
    for (;;) {
        if (levels_ >= limit) return EndAfterLevels();
        // Between two bytes watch the socket, so a client that closes is
        // noticed at once, not only at the next failing send.
        if (WaitForClose(MsUntil(next))) return "client-closed";
        uint8_t b = MutedLevel(NextLevel(cfg_.levelMs));
        int r = qsock::SendAll(sock_.Get(), &b, 1, cfg_.readTimeoutMs);
        if (r == qsock::kTimeout) return "send-timeout";
        if (r != 1) return "client-closed";
        ++levels_;
        next += period;
        // After a stall keep the period from now on instead of bursting.
        if (next + period < Clock::now()) next = Clock::now() + period;
    }
}

const char* Session::Flood() {
    uint8_t chunk[kFloodChunk];
    size_t have = 0;  // unsent bytes at the front of chunk
    const unsigned long long limit = LevelLimit();
    for (;;) {
        if (levels_ >= limit) return EndAfterLevels();
        unsigned long long room = limit - levels_;
        size_t want = room < kFloodChunk ? static_cast<size_t>(room) : kFloodChunk;
        while (have < want) chunk[have++] = NextLevel(kFloodStepMs);
        if (have > want) have = want;  // a limit is near: the cut bytes are never due
        int r = qsock::SendSome(sock_.Get(), chunk, have, cfg_.readTimeoutMs);
        if (r == qsock::kTimeout) return "send-timeout";
        if (r <= 0) return "client-closed";
        levels_ += static_cast<unsigned long long>(r);
        have -= static_cast<size_t>(r);
        for (size_t i = 0; i < have; ++i) chunk[i] = chunk[i + static_cast<size_t>(r)];
    }
}

const char* Session::Run() {
    bool accepted = false;
    if (cfg_.noRead) {
        Log("no-read: the client's bytes stay unread");
        accepted = true;  // there are no credentials to check
    } else if (const char* end = ReadLogin(&accepted)) {
        return end;
    }

    if (cfg_.noReply) {
        Log("no-reply: waiting for the client to close");
        return Hold();
    }
    uint8_t code = !cfg_.replyBytes.empty() ? cfg_.replyBytes[0]
                   : cfg_.replyCode >= 0    ? static_cast<uint8_t>(cfg_.replyCode)
                   : accepted               ? kAccepted
                                            : kRefused;
    if (const char* end = SendReply(code)) return end;
    if (cfg_.resetAfterReply) {
        // Once the client has taken the reply and sends its next request (or
        // goes), so that the reset finds its bytes unread.
        qsock::WaitReadable(sock_.Get(), cfg_.readTimeoutMs);
        qsock::SetAbortiveClose(sock_.Get());
        return "reset";
    }
    if (code != kAccepted) {
        // Half-close and let the client hang up first: closing with its
        // bytes unread could reset the connection before it read the reply.
        qsock::ShutdownSend(sock_.Get());
        WaitForClose(cfg_.readTimeoutMs);
        return "refused";
    }

    if (!cfg_.noRead) {
        if (const char* end = ReadRecord()) return end;
    }
    return cfg_.flood ? Flood() : StreamLevels();
}

}  // namespace

Logger::~Logger() {
    if (file_) fclose(file_);
}

bool Logger::OpenFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) fclose(file_);
    // Binary mode: the same "\n" line ends on every platform for parsers.
    file_ = fopen(path.c_str(), "ab");
    return file_ != nullptr;
}

void Logger::Line(const std::string& body) {
    std::string text = body;
    if (timestamps_) {
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
        text = std::to_string(us) + " " + body;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    fputs(text.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
    if (file_) {
        fputs(text.c_str(), file_);
        fputc('\n', file_);
        fflush(file_);
    }
}

void Logger::FlushAndExit(int code) {
    mutex_.lock();  // never released: no other thread may write a half line
    fflush(stdout);
    if (file_) fflush(file_);
    std::_Exit(code);
}

SpeechEnvelope::SpeechEnvelope(uint32_t seed) : rng_(seed) {
    durationMs_ = Uniform(100, 600);  // start in a short pause
}

int SpeechEnvelope::Uniform(int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng_);
}

void SpeechEnvelope::StartNextPhase() {
    elapsedMs_ -= durationMs_;
    if (phase_ == Phase::Syllable && syllablesLeft_ > 0) {
        phase_ = Phase::Gap;
        durationMs_ = Uniform(40, 140);
    } else if (phase_ == Phase::Syllable) {
        phase_ = Phase::Pause;
        durationMs_ = Uniform(300, 1600);
    } else {
        if (phase_ == Phase::Pause) syllablesLeft_ = Uniform(2, 8);
        phase_ = Phase::Syllable;
        --syllablesLeft_;
        durationMs_ = Uniform(100, 340);
        peakDb_ = Uniform(-10, 10);
    }
}

int SpeechEnvelope::Next(int stepMs) {
    while (elapsedMs_ >= durationMs_) StartNextPhase();
    const double kPi = 3.14159265358979323846;
    double db;
    switch (phase_) {
    case Phase::Syllable: {
        // Fast rise, slower fall, like a spoken syllable's loudness.
        double x = static_cast<double>(elapsedMs_) / durationMs_;
        double shape = x < 0.3 ? std::sin(kPi / 2 * x / 0.3) : std::cos(kPi / 2 * (x - 0.3) / 0.7);
        db = -28 + (peakDb_ + 28) * shape + Uniform(-2, 2);
        break;
    }
    case Phase::Gap:
        db = Uniform(-30, -22);
        break;
    default:
        db = Uniform(-36, -31);
        break;
    }
    elapsedMs_ += stepMs > 0 ? stepMs : 1;
    int v = static_cast<int>(std::lround(db));
    if (v < kMinDb) v = kMinDb;
    if (v > kMaxDb) v = kMaxDb;
    return v;
}

std::string HexBytes(const uint8_t* data, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += kDigits[data[i] >> 4];
        s += kDigits[data[i] & 15];
    }
    return s;
}

std::string QuoteText(const uint8_t* data, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s = "\"";
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = data[i];
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            s += static_cast<char>(c);
        } else {
            s += "\\x";
            s += kDigits[c >> 4];
            s += kDigits[c & 15];
        }
    }
    return s + "\"";
}

void RunSession(const Config& cfg, Logger& log, qsock::OwnedSocket sock, unsigned long id,
                const std::string& peer) {
    Session s(cfg, log, std::move(sock), id);
    s.Log("start peer " + peer);
    const char* reason = s.Run();
    const long long recordedMs = s.RecordedMs();
    s.Close();  // closed before the end line, so a reader of the log sees it done
    if (recordedMs >= 0) s.Log("recorded ms " + std::to_string(recordedMs));
    s.Log("end levels " + std::to_string(s.Levels()) + " reason " + reason);
}

}  // namespace qdxrec
