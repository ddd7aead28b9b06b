// The help reader of the running system: the facts it is decided on, gathered
// from the system, and the "Settings" value that can force it.
#pragma once

#include "core/helpfiles.h"

HelpSystem ProbeHelpSystem();
// The reader to use now: the "Settings" value kSettingHelpReader when it
// names one, else the rule over ProbeHelpSystem. Read afresh at every call,
// as every setting is.
HelpReader HelpReaderInUse();
