// SCSI commands through the operating system's pass-through on an open volume handle:
// opening the volume (with or without the file-system volume lock), closing it, data-in
// and data-out commands with their retry policy, and INQUIRY.
#pragma once

#include "platform/win32.h"

// One pass-through operation or sequence of operations. The record owns nothing: the
// handle belongs to whoever opened it. Every caller uses kind 0 (one volume handle,
// commands by I/O control), synchronous calls and pipe handles 0.
struct ScsiRequest {
    int kind;
    int overlapped;
    HANDLE pipeInHandle;
    HANDLE pipeOutHandle;
    HANDLE deviceHandle;
    int lun;
    int timeout;  // seconds
};

// A request on `device` with the given time-out: kind 0, synchronous, no pipes, LUN 0.
ScsiRequest MakeScsiRequest(HANDLE device, int timeoutSeconds);

// Size of the data part of an INQUIRY reply as this SDK asks for it.
enum { kInquiryDataLength = 56, kInquiryShortLength = 51 };

// The pass-through operations. The class holds no data; no operation needs an instance.
class CSMISCSICmd {
public:
    // Opens `path` for reading and writing into request->deviceHandle (INVALID_HANDLE_VALUE
    // when the open fails) and takes the volume lock when the path and the system call for
    // it. Returns 0 when the open or the lock failed; a handle that failed to lock stays
    // open and must still be closed.
    static int OpenSMIDiskLocked(ScsiRequest* request, const char* path);
    // The same open, never locked.
    static int OpenSMIDiskUnlocked(ScsiRequest* request, const char* path);
    // Releases the volume lock (Windows 6 and later) and closes the handle. Returns 0 for
    // INVALID_HANDLE_VALUE, else the result of the close. The record's handle is left as it
    // was.
    static int CloseSMIDiskHandle(ScsiRequest* request);

    // Data-in and data-out commands: `cdb` is 16 bytes, all sent. Up to six attempts 100 ms
    // apart; a write flushes the volume after every attempt.
    static int SCSIPassThroughRead(ScsiRequest* request, BYTE* buffer, DWORD length,
                                   const BYTE* cdb);
    static int SCSIPassThroughWrite(ScsiRequest* request, BYTE* buffer, DWORD length,
                                    const BYTE* cdb);
    // INQUIRY for 56 bytes. `full` 1 copies all 56 to `out`; 0 copies the 51 from INQUIRY
    // byte 5 (vendor at out[3], product at out[11], revision at out[27]). `out` is untouched
    // on failure.
    static int SCSIPassThroughInquiry(ScsiRequest* request, BYTE* out, int full);

    // 1 when the volume behind `path` has the file system NTFS.
    static int IsNTFSVolume(const char* path);
};
