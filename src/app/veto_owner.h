// Who stopped an ejection: the process that Windows names in the System log for the
// device whose removal it vetoed.
#pragma once

#include "platform/win32.h"

struct VetoOwner {
    WCHAR program[MAX_PATH];  // the last component of the process's image path, in UTF-16
    DWORD processId;
};

// The most events looked at.
const DWORD kMaxVetoEventsRead = 32;

// Looks in the System log, newest first, for the Kernel-PnP record (event 225) written in the
// last `writtenWithinMs` that names `deviceInstanceId`, and fills `owner` from the newest one.
// The event log functions are loaded from the system directory's wevtapi.dll at run time, so a
// system without them only finds nothing. Every wait is bounded: the whole lookup takes well under
// a second. Returns false, with `owner` empty, when no such record is found or the log cannot be
// read; nothing it opens stays open.
bool FindVetoOwner(const char* deviceInstanceId, DWORD writtenWithinMs, VetoOwner* owner);

// The line that follows a vetoed ejection's own when the System log names its owner:
// "Close <program> (process <id>) and try again.", or for the System process (id 4), which
// no user can close since Windows itself holds the drive (a share, a paging file, a mounted
// image), "Windows itself (process 4) holds drive G:.".
void PrintVetoOwnerLine(const VetoOwner& owner, char driveLetter);
