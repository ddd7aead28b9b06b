// One recording session of the substitute recorder: reads the login request,
// answers it, reads the record request and streams level bytes until the
// client closes (or a test behaviour chosen on the command line ends it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "sock.h"

namespace qdxrec {

// Everything the command line can choose. Defaults are the plain server.
struct Config {
    std::string user = "qdx";
    std::string password = "qdx";
    int levelMs = 100;            // period between level bytes
    int replyCode = -1;           // -1: decide by the credentials
    int replySecondByte = 0;
    int replyDelayMs = 0;
    int replyBytewiseMs = -1;     // -1: both reply bytes in one send
    bool noReply = false;
    std::vector<uint8_t> replyBytes;  // non-empty: sent instead of the 2-byte reply
    bool resetAfterReply = false;     // reset (RST) once the client sends or goes after the reply
    bool noRead = false;              // read nothing the client sends
    std::vector<uint8_t> levels;  // empty: speech-like envelope
    long long silenceAfter = -1;  // -1: never
    long long muteAfterMs = -1;   // -1: never; else from then on only the lowest level (81)
    long long muteForMs = -1;     // how long the lowest level lasts before the levels come again; -1: to the end
    long long closeAfter = -1;    // -1: never
    long long resetAfter = -1;    // -1: never; else as closeAfter, with a reset
    bool flood = false;
    int readTimeoutMs = 15000;    // longest quiet time inside a request
    uint32_t seed = 1;            // envelope seed, offset by the session number
    bool maskPassword = false;    // print password bytes as "**" in the login line
};

// Serialises log lines from all session threads onto stdout and, when
// opened, a log file. Every line is flushed at once so readers see it.
class Logger {
public:
    Logger() = default;
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    bool OpenFile(const std::string& path);
    // Starts every later line with the wall-clock time in microseconds since
    // 1970 and a space, for measuring against another process's clock.
    void SetTimestamps(bool on) { timestamps_ = on; }
    void Line(const std::string& text);
    // Flushes under the lock (so no line is cut) and ends the process.
    [[noreturn]] void FlushAndExit(int code);

private:
    std::mutex mutex_;
    FILE* file_ = nullptr;
    bool timestamps_ = false;
};

// Deterministic speech-like level generator: phrases of syllables with
// short gaps, separated by pauses near the noise floor. Every value lies
// in kMinDb..kMaxDb.
class SpeechEnvelope {
public:
    static const int kMinDb = -36;
    static const int kMaxDb = 12;

    explicit SpeechEnvelope(uint32_t seed);
    // Level for the next byte, then advances the envelope by stepMs.
    int Next(int stepMs);

private:
    enum class Phase { Syllable, Gap, Pause };
    void StartNextPhase();
    int Uniform(int lo, int hi);

    std::mt19937 rng_;
    Phase phase_ = Phase::Pause;
    int elapsedMs_ = 0;
    int durationMs_ = 0;
    int peakDb_ = 0;
    int syllablesLeft_ = 0;
};

// Hex dump "e2 00 05" and a quoted, escaped text for the log lines.
std::string HexBytes(const uint8_t* data, size_t n);
std::string QuoteText(const uint8_t* data, size_t n);

// Runs one session to its end and logs it; takes ownership of the socket.
void RunSession(const Config& cfg, Logger& log, qsock::OwnedSocket sock, unsigned long id,
                const std::string& peer);

}  // namespace qdxrec
