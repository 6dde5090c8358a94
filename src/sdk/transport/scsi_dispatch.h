// SCSI command dispatch: one command with a data phase to a device named by its record,
// over ASPI (UseASPI set) or the pass-through.
#pragma once

#include "platform/win32.h"
#include "sdk/device/device_table.h"

// The transport kind copied into every pass-through request the dispatch builds. Every
// drive-letter list request resets it to 0 (one volume handle, commands by I/O control).
extern int ScsiRequestKind;

// Puts the transport kind back to 0, as at program start.
void ResetScsiRequestKind();

enum { kScsiRead = 1, kScsiWrite = 2 };

// Sends `cdb` (16 bytes, all sent) with `length` bytes of data in (mode 1) or out (mode 2).
// Returns nonzero on success. A null device or cdb, another mode, a negative length or a
// null buffer with a positive length sends nothing, traces nothing and returns 0. A failure
// traces "Read Fail!!" or "Write Fail!!".
int SCSICommandProcess(SMIDiskInfo* device, int mode, const BYTE* cdb, BYTE* buffer, int length);

// The two directions: reads time out after 5 seconds and carry `lun` on ASPI; writes time
// out after 300 seconds and always go to LUN 0. A null cdb, a negative length or a null
// buffer with a positive length sends nothing and returns 0.
int SCSICommandRead(HANDLE deviceHandle, HMODULE aspiModule, const BYTE* cdb, BYTE* buffer,
                    int length, int lun);
int SCSICommandWrite(HANDLE deviceHandle, HMODULE aspiModule, const BYTE* cdb, BYTE* buffer,
                     int length);
