#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sock.h"

namespace qdxrec {

namespace {

const char kUsageHead[] =
    "usage: qdxrecorder [options]\n"
    "Substitute recording server: accepts logins, reads record requests and streams\n"
    "speech-like level bytes until the client closes.\n"
    "\n";

const char kUsageTail[] =
    "\n"
    "Log lines (stdout and --log-file), one event per line:\n"
    "  qdxrecorder: listening on ADDR:PORT\n"
    "  session N start peer ADDR:PORT\n"
    "  session N login user \"NAME\" password-length P bytes HEX...\n"
    "  session N reply XX YY accepted|refused|forced\n"
    "  session N record channel C data \"TEXT\" bytes HEX...\n"
    "  session N muted at ms T | sound again at ms T (--mute-after-ms)\n"
    "  session N recorded ms T (from the record request to the end)\n"
    "  session N end levels L reason R\n"
    "HEX is the exact request received (the login's includes the password bytes unless\n"
    "--mask-password). R: client-closed, close-after, reset, refused,\n"
    "malformed-login, short-login, short-record, read-timeout, send-timeout.\n"
    "With --timestamps every line starts with the wall-clock time in microseconds\n"
    "since 1970 and a space.\n";

const size_t kHelpColumn = 26;  // where the option texts start in --help
const long long kMaxMs = 3600000;
const long long kMaxCount = 1LL << 62;

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

enum class Takes { kNothing, kText, kNumber, kHelp };

// One option. A text setter prints its own complaint and returns false for a
// value it refuses; numbers are checked against lo..hi before they are set.
struct Option {
    const char* name;
    const char* valueName;  // after the name in --help; null when it takes no value
    const char* help;       // '\n' goes on in the next line, under the same column
    Takes takes;
    long long lo, hi;
    void (*setFlag)(Options&);
    void (*setNumber)(Options&, long long);
    bool (*setText)(Options&, const std::string&);
};

Option Flag(const char* name, const char* help, void (*set)(Options&)) {
    return {name, nullptr, help, Takes::kNothing, 0, 0, set, nullptr, nullptr};
}
Option Number(const char* name, const char* valueName, long long lo, long long hi, const char* help,
              void (*set)(Options&, long long)) {
    return {name, valueName, help, Takes::kNumber, lo, hi, nullptr, set, nullptr};
}
Option Text(const char* name, const char* valueName, const char* help, bool (*set)(Options&, const std::string&)) {
    return {name, valueName, help, Takes::kText, 0, 0, nullptr, nullptr, set};
}

const Option kOptions[] = {
    Text("--listen", "ADDR:PORT",
         "address and port to listen on (default 0.0.0.0:264;\nPORT 0 = any free port)",
         [](Options& o, const std::string& v) {
             if (ParseListen(v, &o)) return true;
             fprintf(stderr, "qdxrecorder: --listen wants IPV4:PORT, not \"%s\"\n", v.c_str());
             return false;
         }),
    Text("--user", "NAME", "user name accepted (default qdx; may be empty)",
         [](Options& o, const std::string& v) { o.cfg.user = v; return true; }),
    Text("--password", "TEXT", "password accepted (default qdx; may be empty)",
         [](Options& o, const std::string& v) { o.cfg.password = v; return true; }),
    Number("--level-ms", "N", 1, kMaxMs, "period between level bytes in ms (default 100)",
           [](Options& o, long long n) { o.cfg.levelMs = static_cast<int>(n); }),
    Text("--levels", "LIST",
         "comma-separated hex bytes sent cyclically instead of the\nspeech envelope, e.g. 81,7f,00",
         [](Options& o, const std::string& v) {
             if (ParseLevels(v, &o.cfg.levels)) return true;
             fprintf(stderr, "qdxrecorder: --levels wants hex bytes like 81,7f,00\n");
             return false;
         }),
    Number("--seed", "N", 0, 0xFFFFFFFFLL, "seed of the speech envelope (session number is added)",
           [](Options& o, long long n) { o.cfg.seed = static_cast<uint32_t>(n); }),
    Number("--reply-code", "N", 0, 255, "answer every login with N (0..255) regardless of credentials",
           [](Options& o, long long n) { o.cfg.replyCode = static_cast<int>(n); }),
    Number("--reply-second-byte", "N", 0, 255, "second reply byte (default 0)",
           [](Options& o, long long n) { o.cfg.replySecondByte = static_cast<int>(n); }),
    Number("--reply-delay-ms", "N", 0, kMaxMs, "wait N ms before sending the reply",
           [](Options& o, long long n) { o.cfg.replyDelayMs = static_cast<int>(n); }),
    Number("--reply-bytewise-ms", "N", 0, kMaxMs, "send the reply bytes one at a time, N ms apart",
           [](Options& o, long long n) { o.cfg.replyBytewiseMs = static_cast<int>(n); }),
    Flag("--no-reply", "read the login, never answer, wait for the client to close",
         [](Options& o) { o.cfg.noReply = true; }),
    Text("--reply-bytes", "LIST",
         "hex bytes sent instead of the 2-byte reply, any count;\n"
         "the first decides as a reply code, e.g. ff,00,13,37",
         [](Options& o, const std::string& v) {
             if (ParseLevels(v, &o.cfg.replyBytes)) return true;
             fprintf(stderr, "qdxrecorder: --reply-bytes wants hex bytes like ff,00,13\n");
             return false;
         }),
    Flag("--reset-after-reply",
         "reset (RST) the connection when the client sends or goes\nafter the reply, its bytes unread",
         [](Options& o) { o.cfg.resetAfterReply = true; }),
    Flag("--no-read",
         "never read from the client: answer at once, leave the login\n"
         "and record request unread; a close goes unseen, so\n"
         "silence lasts --read-timeout-ms",
         [](Options& o) { o.cfg.noRead = true; }),
    Flag("--no-accept", "listen, never accept: connections wait in the backlog",
         [](Options& o) { o.accept = false; }),
    Number("--silence-after", "N", 0, kMaxCount, "after N level bytes send nothing more (connection stays open)",
           [](Options& o, long long n) { o.cfg.silenceAfter = n; }),
    Number("--mute-after-ms", "N", 0, kMaxMs,
           "N ms after the record request send only the lowest level (81),\nas a muted line would",
           [](Options& o, long long n) { o.cfg.muteAfterMs = n; }),
    Number("--mute-for-ms", "N", 1, kMaxMs, "end the muted stretch after N ms: the levels come again",
           [](Options& o, long long n) { o.cfg.muteForMs = n; }),
    Number("--close-after", "N", 0, kMaxCount, "close the connection after N level bytes",
           [](Options& o, long long n) { o.cfg.closeAfter = n; }),
    Number("--reset-after", "N", 0, kMaxCount, "reset (RST) the connection after N level bytes",
           [](Options& o, long long n) { o.cfg.resetAfter = n; }),
    Flag("--flood", "send level bytes as fast as the socket takes them", [](Options& o) { o.cfg.flood = true; }),
    Number("--read-timeout-ms", "N", 1, kMaxMs,
           "longest wait for the rest of a request, and for room to\nsend, before the session ends (default 15000)",
           [](Options& o, long long n) { o.cfg.readTimeoutMs = static_cast<int>(n); }),
    Number("--max-concurrent", "N", 1, 1000,
           "connections beyond N running sessions are closed at once\n(default 64)",
           [](Options& o, long long n) { o.maxConcurrent = static_cast<int>(n); }),
    Number("--max-sessions", "N", 1, kMaxCount, "exit 0 after N sessions have ended (default unlimited)",
           [](Options& o, long long n) { o.maxSessions = n; }),
    Text("--port-file", "PATH", "write the bound port (decimal, newline) to PATH once listening",
         [](Options& o, const std::string& v) { o.portFile = v; return true; }),
    Text("--log-file", "PATH", "also append every log line to PATH",
         [](Options& o, const std::string& v) { o.logFile = v; return true; }),
    Flag("--mask-password", "show the password bytes as ** in the login line",
         [](Options& o) { o.cfg.maskPassword = true; }),
    Flag("--timestamps", "log lines start with the wall-clock time (see below)",
         [](Options& o) { o.timestamps = true; }),
    {"--help", nullptr, "this text", Takes::kHelp, 0, 0, nullptr, nullptr, nullptr},
};

const Option* FindOption(const std::string& name) {
    for (const Option& opt : kOptions) {
        if (name == opt.name || (opt.takes == Takes::kHelp && name == "-h")) return &opt;
    }
    return nullptr;
}

void PrintUsage() {
    std::string text = kUsageHead;
    for (const Option& opt : kOptions) {
        std::string head = std::string("  ") + opt.name;
        if (opt.valueName) head += std::string(" ") + opt.valueName;
        head.resize(head.size() + 2 > kHelpColumn ? head.size() + 2 : kHelpColumn, ' ');
        text += head;
        for (const char* p = opt.help; *p; ++p) {
            text += *p;
            if (*p == '\n') text.append(kHelpColumn, ' ');
        }
        text += '\n';
    }
    text += kUsageTail;
    fputs(text.c_str(), stdout);
}

}  // namespace

int ParseArgs(int argc, char** argv, Options* o) {
    if (!qsock::ParseIPv4(o->addrText, &o->addrNet)) return 2;
    for (int i = 1; i < argc; ++i) {
        // "--name=value" and "--name value" are the same.
        std::string name = argv[i];
        std::string value;
        bool inlineValue = false;
        size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            inlineValue = true;
        }
        const Option* opt = FindOption(name);
        if (!opt) {
            fprintf(stderr, "qdxrecorder: unknown option \"%s\" (see --help)\n", argv[i]);
            return 2;
        }
        if (opt->takes == Takes::kHelp) {
            PrintUsage();
            return 1;
        }
        if (opt->takes == Takes::kNothing) {
            if (inlineValue) {
                fprintf(stderr, "qdxrecorder: %s takes no value\n", name.c_str());
                return 2;
            }
            opt->setFlag(*o);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                fprintf(stderr, "qdxrecorder: %s needs a value\n", name.c_str());
                return 2;
            }
            value = argv[++i];
        }
        if (opt->takes == Takes::kText) {
            if (!opt->setText(*o, value)) return 2;
            continue;
        }
        long long n = 0;
        if (!ParseNumber(value, opt->lo, opt->hi, &n)) {
            fprintf(stderr, "qdxrecorder: %s wants a number from %lld to %lld, not \"%s\"\n", name.c_str(), opt->lo,
                    opt->hi, value.c_str());
            return 2;
        }
        opt->setNumber(*o, n);
    }
    return 0;
}

}  // namespace qdxrec
