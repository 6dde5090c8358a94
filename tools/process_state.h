// The start of a process, again: the simulated machine empty and the program's
// process-wide state back at its start values, for the tests and fuzz targets that run the
// program many times in one process.
#pragma once

namespace scenario {

// Resets the machine (sim::Reset), clears any planned platform failure, and resets every
// set of the program's process-wide globals with the Reset… function beside it.
void ResetProcessState();

}  // namespace scenario
