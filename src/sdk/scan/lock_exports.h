// The lock pair this program exports to programs that load it, by name and by ordinal:
// LockDisk (1), UnLockDisk (2) and SetExportDriveLetter (3), all standard call.
//
// A program that loads the executable runs none of its C runtime start-up and binds none of
// its imports, so these functions bind the imports themselves on their first call
// (export_imports.h), and they and everything they reach use only values fixed at build
// time: no static constructors, no dynamic initialisation, no thread-local storage. When
// the binding fails, LockDisk hands back INVALID_HANDLE_VALUE on the pass-through road and
// does nothing else, UnLockDisk does nothing and SetExportDriveLetter returns FALSE.
#pragma once

#include "platform/win32.h"

extern "C" {

// Locks the volume of the export drive. `useVwin32` nonzero: through \\.\vwin32, whose
// handle goes to `*vwin32Out`. Otherwise opens "\\.\X:" with the volume lock and writes the
// opened handle (INVALID_HANDLE_VALUE when the open failed) to `*handle`. Reports nothing.
void WINAPI LockDisk(int useVwin32, HANDLE* handle, HANDLE* vwin32Out);
// Undoes LockDisk: `useVwin32` nonzero unlocks and closes the vwin32 handle the last
// Windows 9x lock left; otherwise closes `handle` (INVALID_HANDLE_VALUE: nothing).
// `unused` is not read.
void WINAPI UnLockDisk(int useVwin32, HANDLE handle, HANDLE* unused);
// Names the drive of the pair: a letter A-Z in either case, stored in upper case. Returns
// TRUE, or FALSE and changes nothing for anything else.
BOOL WINAPI SetExportDriveLetter(int letter);

}  // extern "C"
