// The disk lock: a device's volume opened (and, on request, locked) before vendor commands
// go to it, and released afterwards; the Windows 9x volume lock through \\.\vwin32; the
// lock pair exported to programs that load the executable.
#pragma once

#include "platform/win32.h"
#include "sdk/device/device_table.h"

// Keep-open flag of the disk lock: while nonzero, a locked device stays open between
// requests. Every drive-letter list request resets it to 0.
extern int KeepDiskOpen;

// The open \\.\vwin32 device of the last Windows 9x volume lock; INVALID_HANDLE_VALUE when
// none. Every Windows 9x lock overwrites it, so two such locks must not overlap. The
// exported unlock releases whatever it holds, even a record's lock, whose vxdHandle then
// names a closed handle: a record locked this way is not also unlocked with UnLockSMIDisk.
extern HANDLE Vwin32Handle;
// The drive the exported lock pair acts on: NUL until SetExportDriveLetter names one.
extern char ExportDriveLetter;

// Back to the start values: no vwin32 handle, no export drive.
void ResetDiskLockState();

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
