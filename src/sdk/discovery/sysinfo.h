// The drive SDK's drive-letter list request: the letters of the supported USB drives that
// are present, found by interface names for ordinary accounts and by the controller scan
// for administrators.
#pragma once

#include "platform/win32.h"

// The most letters GetSysInfo ever writes: the larger of the user-mode letter table (32)
// and the controller device table (20). Callers size their buffer for this many plus a
// terminator.
enum { kMaxSysInfoLetters = 32 };

// Writes the letters to `letters` (not terminated, at most kMaxSysInfoLetters) and returns
// their count. The filters are used by the administrator road only; null means none.
int GetSysInfo(char* letters, const char* vendorFilter, const char* productFilter);

// Nonzero when the account that runs the process is not a local administrator, and when
// its privilege cannot be read because netapi32.dll or its lookup is missing.
BOOL IsNonAdminUser();
