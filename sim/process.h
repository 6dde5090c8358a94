// The process's hold on drives and the other processes it waits on, for the parts of the
// simulated machine that answer ejection requests and waits.
#pragma once

#include "machine.h"

namespace sim {

// The drive letter (upper case) that an absolute path "X:\..." lies on; 0 for any other
// path (UNC, \\?\ or \\.\ forms, relative paths).
char DriveOfPath(const std::string& path);

// The answer to an ejection request of `devInst` while this process holds a volume on it:
// its image file or its current directory lies there (through whichever letter, subst
// letter or mounted folder), and Windows reports a handle open on the volume. False when
// the process holds nothing on the device.
bool ProcessHoldsDevice(DEVINST devInst, EjectAnswer* answer);

// WaitForSingleObject on a process handle: signalled once the process has ended, on the
// virtual clock.
DWORD WaitForProcess(const OpenObject& process, DWORD milliseconds);

}  // namespace sim
