// The ASPI manager "wnaspi32.dll" of the simulated machine, and the libraries the program
// loads at run time.
#pragma once

namespace sim {

// Ends every ASPI request still pending, as a manager would that answers long after the
// caller stopped waiting: it writes the data and the status into the caller's request and
// signals its event if that still exists. Memory the caller released by then shows up as a
// use after free under AddressSanitizer.
void CompletePendingAspiRequests();

}  // namespace sim
