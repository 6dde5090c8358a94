// The console of the simulated machine and the program's standard streams, for the parts of
// the machine that wait on them.
#pragma once

#include "machine.h"

namespace sim {

// True for the standard input handle GetStdHandle hands out.
bool IsStandardInput(HANDLE h);

// WaitForSingleObject on the standard input: a console's input is signalled while it holds
// records not yet read, and becomes so when a key is pressed within the time-out, on the
// virtual clock; a file is always signalled.
DWORD WaitForConsoleInput(DWORD milliseconds);

}  // namespace sim
