// The recorder's command line: one table of options, from which both the
// parser and the option part of --help are made.
#pragma once

#include <cstdint>
#include <string>

#include "session.h"

namespace qdxrec {

struct Options {
    Config cfg;
    uint32_t addrNet = 0;
    std::string addrText = "0.0.0.0";
    uint16_t port = 264;
    long long maxSessions = -1;
    int maxConcurrent = 64;
    bool accept = true;       // false: connections wait in the backlog, never served
    bool timestamps = false;  // log lines start with the wall-clock time
    std::string portFile;
    std::string logFile;
};

// Returns 0 to run, 1 when --help was shown, 2 on a usage error (reported on stderr).
int ParseArgs(int argc, char** argv, Options* o);

}  // namespace qdxrec
