// Injected platform failures: every simulated call that can fail on Windows asks here
// first, so a test can make exactly one of those calls fail the way the real API fails and
// see what the program does with it.
//
// A call asks with its Win32 name; FaultHere() counts the asks of this run and answers true
// for the one the plan names. The plan lives outside the machine: sim::Reset() leaves it
// alone, so a test can plan a failure, then describe the machine and run the program.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

// No call fails: the plan after ResetFaults().
constexpr size_t kNoFault = static_cast<size_t>(-1);

// Fails the failable call with this index (0-based, in the order of this run's asks) and
// no other; kNoFault fails none. Clears the record of earlier asks.
void PlanFault(size_t index);
void ResetFaults();

// True when this ask is the planned one. Every ask is recorded by name.
bool FaultHere(const char* call);

// The names of the calls that asked since the plan was made, in order.
const std::vector<std::string>& FailableCalls();
// The name of the call that was made to fail, or "" while none has been.
const std::string& InjectedFault();

}  // namespace sim
