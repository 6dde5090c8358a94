// The ASPI manager "wnaspi32.dll" of the simulated machine.
#pragma once

#include <simwin/windef.h>

#include <string>

namespace sim {

extern const char kAspiLibrary[];  // "wnaspi32.dll"

// The entry point of the ASPI manager named `name`, or null.
FARPROC AspiProc(const std::string& name);

// Ends every ASPI request still pending, as a manager would that answers long after the
// caller stopped waiting: it writes the data and the status into the caller's request and
// signals its event if that still exists. Memory the caller released by then shows up as a
// use after free under AddressSanitizer.
void CompletePendingAspiRequests();

// Called by WaitForSingleObject on an unsignalled event: a request of a host adapter that
// answers "later" ends now, while its caller waits. Returns true when one did.
bool CompleteAspiRequestOnWait(HANDLE event);

}  // namespace sim
