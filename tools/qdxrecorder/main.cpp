// qdxrecorder: a stand-in for the call-recording server, for tests, demos and
// administrators who want to try the client without the real recorder.
//
// Log lines (stdout, and --log-file when given), one event per line, each
// flushed at once. Tests parse these; keep their formats stable:
//   qdxrecorder: listening on ADDR:PORT
//   session N start peer ADDR:PORT
//   session N login user "NAME" password-length P bytes HEX...
//   session N reply XX YY accepted|refused|forced
//   session N record channel C data "TEXT" bytes HEX...
//   session N end levels L reason R
// HEX is the exact request as received, lower-case byte pairs separated by
// single spaces. NAME and TEXT escape '"' and '\' with '\' and bytes outside
// 0x20..0x7e as \xNN. R is one of: client-closed, close-after, refused,
// malformed-login, short-login, short-record, read-timeout, send-timeout.
// Other lines (garbage, partial requests, silence, rejected connections) are
// informative and may change.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "session.h"
#include "sock.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: qdxrecorder [options]\n"
    "Substitute recording server: accepts logins, reads record requests and streams\n"
    "speech-like level bytes until the client closes.\n"
    "\n"
    "  --listen ADDR:PORT      address and port to listen on (default 0.0.0.0:264;\n"
    "                          PORT 0 = any free port)\n"
    "  --user NAME             user name accepted (default qdx; may be empty)\n"
    "  --password TEXT         password accepted (default qdx; may be empty)\n"
    "  --level-ms N            period between level bytes in ms (default 100)\n"
    "  --levels LIST           comma-separated hex bytes sent cyclically instead of the\n"
    "                          speech envelope, e.g. 81,7f,00\n"
    "  --seed N                seed of the speech envelope (session number is added)\n"
    "  --reply-code N          answer every login with N (0..255) regardless of credentials\n"
    "  --reply-second-byte N   second reply byte (default 0)\n"
    "  --reply-delay-ms N      wait N ms before sending the reply\n"
    "  --reply-bytewise-ms N   send the 2 reply bytes one at a time, N ms apart\n"
    "  --no-reply              read the login, never answer, wait for the client to close\n"
    "  --silence-after N       after N level bytes send nothing more (connection stays open)\n"
    "  --close-after N         close the connection after N level bytes\n"
    "  --flood                 send level bytes as fast as the socket takes them\n"
    "  --read-timeout-ms N     longest wait for the rest of a request, and for room to\n"
    "                          send, before the session ends (default 15000)\n"
    "  --max-concurrent N      connections beyond N running sessions are closed at once\n"
    "                          (default 64)\n"
    "  --max-sessions N        exit 0 after N sessions have ended (default unlimited)\n"
    "  --port-file PATH        write the bound port (decimal, newline) to PATH once listening\n"
    "  --log-file PATH         also append every log line to PATH\n"
    "  --mask-password         show the password bytes as ** in the login line\n"
    "  --help                  this text\n"
    "\n"
    "Log lines (stdout and --log-file), one event per line:\n"
    "  qdxrecorder: listening on ADDR:PORT\n"
    "  session N start peer ADDR:PORT\n"
    "  session N login user \"NAME\" password-length P bytes HEX...\n"
    "  session N reply XX YY accepted|refused|forced\n"
    "  session N record channel C data \"TEXT\" bytes HEX...\n"
    "  session N end levels L reason R\n"
    "HEX is the exact request received (the login's includes the password bytes unless\n"
    "--mask-password). R: client-closed, close-after, refused, malformed-login,\n"
    "short-login, short-record, read-timeout, send-timeout.\n";

struct Options {
    qdxrec::Config cfg;
    uint32_t addrNet = 0;
    std::string addrText = "0.0.0.0";
    uint16_t port = 264;
    long long maxSessions = -1;
    int maxConcurrent = 64;
    std::string portFile;
    std::string logFile;
};

bool ParseNumber(const std::string& text, long long lo, long long hi, long long* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParseLevels(const std::string& text, std::vector<uint8_t>* out) {
    out->clear();
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(pos, comma - pos);
        if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) item.erase(0, 2);
        if (item.empty() || item.size() > 2) return false;
        char* end = nullptr;
        unsigned long v = std::strtoul(item.c_str(), &end, 16);
        if (*end != '\0') return false;
        out->push_back(static_cast<uint8_t>(v));
        pos = comma + 1;
    }
    return !out->empty();
}

bool ParseListen(const std::string& text, Options* o) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    long long port = 0;
    if (!ParseNumber(text.substr(colon + 1), 0, 65535, &port)) return false;
    o->addrText = text.substr(0, colon);
    o->port = static_cast<uint16_t>(port);
    return qsock::ParseIPv4(o->addrText, &o->addrNet);
}

// Returns 0 to run, 1 when --help was shown, 2 on a usage error.
int ParseArgs(int argc, char** argv, Options* o) {
    qdxrec::Config& c = o->cfg;
    if (!qsock::ParseIPv4(o->addrText, &o->addrNet)) return 2;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool inlineValue = false;
        size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            inlineValue = true;
        }
        auto flag = [&]() {
            if (inlineValue) fprintf(stderr, "qdxrecorder: %s takes no value\n", name.c_str());
            return !inlineValue;
        };
        auto take = [&]() {
            if (inlineValue) return true;
            if (i + 1 >= argc) {
                fprintf(stderr, "qdxrecorder: %s needs a value\n", name.c_str());
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto number = [&](long long lo, long long hi, long long* out) {
            if (!take()) return false;
            if (ParseNumber(value, lo, hi, out)) return true;
            fprintf(stderr, "qdxrecorder: %s wants a number from %lld to %lld, not \"%s\"\n",
                    name.c_str(), lo, hi, value.c_str());
            return false;
        };
        long long n = 0;
        const long long kMaxMs = 3600000;
        if (name == "--help" || name == "-h") {
            fputs(kUsage, stdout);
            return 1;
        } else if (name == "--listen") {
            if (!take()) return 2;
            if (!ParseListen(value, o)) {
                fprintf(stderr, "qdxrecorder: --listen wants IPV4:PORT, not \"%s\"\n", value.c_str());
                return 2;
            }
        } else if (name == "--user") {
            if (!take()) return 2;
            c.user = value;
        } else if (name == "--password") {
            if (!take()) return 2;
            c.password = value;
        } else if (name == "--level-ms") {
            if (!number(1, kMaxMs, &n)) return 2;
            c.levelMs = static_cast<int>(n);
        } else if (name == "--levels") {
            if (!take()) return 2;
            if (!ParseLevels(value, &c.levels)) {
                fprintf(stderr, "qdxrecorder: --levels wants hex bytes like 81,7f,00\n");
                return 2;
            }
        } else if (name == "--seed") {
            if (!number(0, 0xFFFFFFFFLL, &n)) return 2;
            c.seed = static_cast<uint32_t>(n);
        } else if (name == "--reply-code") {
            if (!number(0, 255, &n)) return 2;
            c.replyCode = static_cast<int>(n);
        } else if (name == "--reply-second-byte") {
            if (!number(0, 255, &n)) return 2;
            c.replySecondByte = static_cast<int>(n);
        } else if (name == "--reply-delay-ms") {
            if (!number(0, kMaxMs, &n)) return 2;
            c.replyDelayMs = static_cast<int>(n);
        } else if (name == "--reply-bytewise-ms") {
            if (!number(0, kMaxMs, &n)) return 2;
            c.replyBytewiseMs = static_cast<int>(n);
        } else if (name == "--no-reply") {
            if (!flag()) return 2;
            c.noReply = true;
        } else if (name == "--silence-after") {
            if (!number(0, 1LL << 62, &c.silenceAfter)) return 2;
        } else if (name == "--close-after") {
            if (!number(0, 1LL << 62, &c.closeAfter)) return 2;
        } else if (name == "--flood") {
            if (!flag()) return 2;
            c.flood = true;
        } else if (name == "--read-timeout-ms") {
            if (!number(1, kMaxMs, &n)) return 2;
            c.readTimeoutMs = static_cast<int>(n);
        } else if (name == "--max-concurrent") {
            if (!number(1, 1000, &n)) return 2;
            o->maxConcurrent = static_cast<int>(n);
        } else if (name == "--max-sessions") {
            if (!number(1, 1LL << 62, &o->maxSessions)) return 2;
        } else if (name == "--port-file") {
            if (!take()) return 2;
            o->portFile = value;
        } else if (name == "--log-file") {
            if (!take()) return 2;
            o->logFile = value;
        } else if (name == "--mask-password") {
            if (!flag()) return 2;
            c.maskPassword = true;
        } else {
            fprintf(stderr, "qdxrecorder: unknown option \"%s\" (see --help)\n", argv[i]);
            return 2;
        }
    }
    return 0;
}

// Written under a temporary name and renamed, so a test polling for the
// file never reads half a number.
bool WritePortFile(const std::string& path, uint16_t port) {
    std::string tmp = path + ".tmp" + std::to_string(qsock::ProcessId());
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = fprintf(f, "%u\n", static_cast<unsigned>(port)) > 0;
    ok = (fclose(f) == 0) && ok;
    if (ok) ok = qsock::RenameReplace(tmp, path);
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // "\n" line ends on stdout too, as on Linux, for whoever parses it.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    Options opt;
    int parsed = ParseArgs(argc, argv, &opt);
    if (parsed == 1) return 0;
    if (parsed != 0) return 2;

    if (!qsock::Startup()) {
        fprintf(stderr, "qdxrecorder: cannot start the socket library\n");
        return 1;
    }
    static qdxrec::Logger log;  // outlives the detached session threads
    if (!opt.logFile.empty() && !log.OpenFile(opt.logFile)) {
        fprintf(stderr, "qdxrecorder: cannot open log file %s\n", opt.logFile.c_str());
        return 1;
    }
    std::string err;
    qsock::OwnedSocket listener = qsock::Listen(opt.addrNet, opt.port, &err);
    if (!listener.Valid()) {
        fprintf(stderr, "qdxrecorder: %s:%u: %s\n", opt.addrText.c_str(),
                static_cast<unsigned>(opt.port), err.c_str());
        return 1;
    }
    uint16_t port = qsock::BoundPort(listener.Get());
    if (!opt.portFile.empty() && !WritePortFile(opt.portFile, port)) {
        fprintf(stderr, "qdxrecorder: cannot write port file %s\n", opt.portFile.c_str());
        return 1;
    }
    log.Line("qdxrecorder: listening on " + opt.addrText + ":" + std::to_string(port));

    static const qdxrec::Config& cfg = opt.cfg;
    static std::atomic<int> active(0);
    static std::atomic<long long> ended(0);
    unsigned long nextId = 0;
    for (;;) {
        if (opt.maxSessions > 0 && ended.load() >= opt.maxSessions) log.FlushAndExit(0);
        // A bounded wait, so the max-sessions test above runs regularly.
        if (qsock::WaitReadable(listener.Get(), 200) != 1) continue;
        std::string peer;
        qsock::OwnedSocket client = qsock::Accept(listener.Get(), &peer);
        if (!client.Valid()) continue;
        if (active.load() >= opt.maxConcurrent) {
            log.Line("rejected peer " + peer + " too-many-sessions");
            continue;  // closed by its owner
        }
        unsigned long id = ++nextId;
        ++active;
        try {
            std::thread([id, peer](qsock::OwnedSocket s) {
                qdxrec::RunSession(cfg, log, std::move(s), id, peer);
                --active;
                ++ended;
            }, std::move(client)).detach();
        } catch (const std::system_error&) {
            --active;
            log.Line("session " + std::to_string(id) + " start peer " + peer);
            log.Line("session " + std::to_string(id) + " end levels 0 reason no-thread");
            ++ended;
        }
    }
}
