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
// malformed-login, short-login, short-record, read-timeout, send-timeout,
// reset. With --timestamps each line starts with the wall-clock time in
// microseconds since 1970 and a space.
// Other lines (garbage, partial requests, silence, rejected connections) are
// informative and may change.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>

#include "options.h"
#include "session.h"
#include "sock.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

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
    qdxrec::Options opt;
    int parsed = qdxrec::ParseArgs(argc, argv, &opt);
    if (parsed == 1) return 0;
    if (parsed != 0) return 2;

    if (!qsock::Startup()) {
        fprintf(stderr, "qdxrecorder: cannot start the socket library\n");
        return 1;
    }
    static qdxrec::Logger log;  // outlives the detached session threads
    log.SetTimestamps(opt.timestamps);
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
        if (!opt.accept) {
            // Connections complete in the backlog and wait there, unserved.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
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
