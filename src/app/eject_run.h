// The ejecting runs after the drive is chosen: one drive, or every drive device by device,
// with an optional wait while a program holds a drive; each prints its lines, makes its one
// sound and gives the exit code.
#pragma once

#include "platform/win32.h"

// How long the wait pauses before each further ejection request.
const DWORD kWaitPauseMs = 1000;

// Ejects drive `target` and reports: "Drive E Ejected" with MB_OK and 0, or the failure line
// and the line naming the program Windows logged as the blocker, with MB_ICONHAND and 1.
// With `waitSeconds` nonzero, an ejection the three requests found vetoed prints the waiting
// line and asks again once a second until a request returns with that many seconds gone,
// naming each new blocker as it is logged, before the final line. Blockers are taken only
// from records written since the device's first request of this run.
int EjectAndReport(char target, DWORD waitSeconds);

// Ejects every drive of `letters` (`count` upper-case letters, duplicates ignored) with one
// request per USB device, devices in the order of their highest letter, highest first, each
// device's lines together; a vetoed device waits as above, in turn. One sound at the end:
// MB_OK and 0 when every drive was ejected and nothing `failedBefore` (a target that named
// no drive), MB_ICONHAND and 1 otherwise.
int EjectAllAndReport(const char* letters, int count, DWORD waitSeconds, bool failedBefore = false);
