// Injected platform failures: every simulated call that can fail on Windows asks here
// first, so a test can make exactly one of those calls fail the way the real API fails and
// see what the program does with it.
//
// A call asks with its Win32 name; FaultHere() counts the asks of this run and answers true
// for the one the plan names. The plan lives outside the machine: sim::Reset() leaves it
// alone, so a test can plan a failure, then describe the machine and run the program.
//
// Every call that reports a failure on Windows asks. Calls that release what the program
// opened (CloseHandle, RegCloseKey, FreeLibrary, GlobalFree, SetupDiDestroyDeviceInfoList,
// NetApiBufferFree) do not: on a handle the program holds they do not fail, and nothing
// could be done if they did. Nor do calls without a failure result (GetLastError,
// SetLastError, Sleep, GetCommandLineA and W, OutputDebugStringA, GetDriveTypeA, whose "cannot
// tell" answer is a drive type of its own).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

// No call fails: the plan after ResetFaults().
constexpr size_t kNoFault = static_cast<size_t>(-1);

// Fails the failable call with this index (0-based, in the order of this run's asks) and
// no other; kNoFault fails none. Clears the record of earlier asks and starts recording.
void PlanFault(size_t index);
// Fails the ask of `call` with this index among that call's asks (0-based) and no other,
// for a test that means one particular call: PlanFaultOf("GetVersionExA", 2) fails the
// third version query. Starts recording as PlanFault does.
void PlanFaultOf(const char* call, size_t occurrence);
// Fails the failable call with this index and, from then on, every call of the same name:
// the device, key or service behind it is gone for good (a drive pulled out mid-run).
void PlanLastingFault(size_t index);
// No call fails and asks are no longer recorded, as at start: a long run without a plan
// does not grow the record.
void ResetFaults();

// True when this ask is the planned one. While a plan is made every ask is recorded by name.
bool FaultHere(const char* call);

// The names of the calls that asked since the plan was made, in order.
const std::vector<std::string>& FailableCalls();
// The name of the call that was made to fail, or "" while none has been.
const std::string& InjectedFault();

}  // namespace sim
