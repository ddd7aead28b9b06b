// The server text of the settings, split into the host and the port to connect to.
#pragma once

#include "core/text.h"

// Copies the server text into host, ends it at the first ':' and cuts the
// blanks (spaces, tabs) around it. Without a ':' the port is defaultPort; with
// one, the rest must be 1 to 5 decimal digits of value 1 to 65535, blanks
// around them allowed. False (refused) for any other port text and for a
// bracketed IPv6 literal, since the link is IPv4 only: a typo must not send
// the login to some other port. port is 0 when refused.
bool SplitHostPort(const char* szServer, char (&host)[qdx::kTextSize], unsigned short defaultPort,
                   unsigned short& port);
