// The disk lock: a device's volume opened (and, on request, locked) before vendor commands
// go to it, and released afterwards; the Windows 9x volume lock through \\.\vwin32; the
// lock pair exported to programs that load the executable.
#pragma once

#include "platform/win32.h"
#include "sdk/device/device_table.h"

// Keep-open flag of the disk lock: while nonzero, a locked device stays open between
// requests. Every drive-letter list request resets it to 0.
extern int KeepDiskOpen;

// Opens (pass-through road; with the file-system volume lock when `lockVolume` is nonzero)
// or locks (ASPI road) the volume of `info`, then on the pass-through road identifies its
// controller. Returns nonzero on success; on the pass-through road a volume that opened but
// refused its lock stays open, and UnLockSMIDisk must still be called.
int LockSMIDisk(SMIDiskInfo* info, int lockVolume);
// Undoes LockSMIDisk. Returns the result of its last step (0 when nothing was open on the
// ASPI road).
int UnLockSMIDisk(SMIDiskInfo* info);

// Clears the keep-open flag, as at program start.
void ResetDiskLockSettings();
