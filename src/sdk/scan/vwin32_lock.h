// The volume lock of Windows 95, 98 and ME: the MS-DOS generic block-device I/O control
// (Int 21h function 440Dh) Lock Logical Volume (minor code 4Ah) and Unlock Logical Volume
// (6Ah), run through the \\.\vwin32 device.
#pragma once

#include "platform/win32.h"

// The \\.\vwin32 control code that runs an MS-DOS I/O control from a register block.
enum : DWORD { kVwin32DosIoctl = 1 };

// The register block \\.\vwin32 takes and hands back in the same buffer. Bit 0 of `flags`
// is the carry flag: set when the MS-DOS call failed.
struct Vwin32Registers {
    DWORD ebx;
    DWORD edx;
    DWORD ecx;
    DWORD eax;
    DWORD edi;
    DWORD esi;
    DWORD flags;
};
static_assert(sizeof(Vwin32Registers) == 28, "the vwin32 register block is seven 32-bit words");

// The MS-DOS drive number of `letter`: the letter minus '@' as an unsigned byte, so A is 1.
BYTE Vwin32DriveNumber(char letter);

// Opens \\.\vwin32 into Vwin32Handle and locks drive `letter` at level 0 with no
// permissions. Returns 0 when the device cannot be opened (`*out` untouched) or the lock is
// refused; once the device is open, `*out` (when not null) receives its handle either way.
int LockVolumeVwin32(HANDLE* out, char letter);
// Lock Logical Volume on `drive` (BL) at `level` (BH) with `permissions` (DX): category
// 48h first, 08h when that fails. 1 on success, else 0.
int LockLogicalVolume(HANDLE vwin32, BYTE drive, BYTE level, WORD permissions);
// Unlock Logical Volume on `drive`, with the same categories. 1 on success, else 0.
int UnlockLogicalVolume(HANDLE vwin32, BYTE drive);
