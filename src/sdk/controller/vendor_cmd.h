// The SMI controllers' vendor commands that have a routine of their own: RAM, special
// function registers, the flash identity record and raw flash pages. Each takes the model
// code that chooses the command form and the request that names the device, and sends
// one data-in transfer through the pass-through (which retries a failed transfer itself).
#pragma once

#include "platform/win32.h"
#include "sdk/transport/pass_through.h"

// Status values of the routines: 0 success, else one of these.
enum : int {
    kVendorReadFailed = -210,     // RAM, SFR or flash page read
    kFlashInfoReadFailed = -181,  // flash information read
};

// Where a routine's failure text goes in the caller's buffer: the offset of the model name
// on an identification page, so a failed read never shows a name there.
enum { kFailureMessageOffset = 432 };

// Local reply buffers of the routines.
enum { kRamReplySize = 1536, kSfrReplySize = 512, kFlashInfoReplySize = 2560 };

class CSMIVendorCmd {
public:
    // RAM page `pageOrAddress` (a full 32-bit address on wide-address models). Copies at
    // most min(length, 1536) bytes. On failure the caller's `length` bytes are zeroed and
    // "The Read RAM Command is failed" is written at byte 432 when it fits; returns -210.
    static int ReadControllerRam(int modelCode, ScsiRequest* request, DWORD pageOrAddress,
                                 BYTE* out, int length);
    // The SFR page: at most min(length, 512) bytes; failure as above with its own text.
    static int ReadControllerSfr(int modelCode, ScsiRequest* request, BYTE* out, int length);
    // The flash identity record: the flash information reply completed for the model (see
    // flash_identity.h); at most min(length, 2560) bytes, zeros past the first 512. A failed
    // information read zeroes the buffer, writes "The Read Flash Command is failed" at byte
    // 432 when it fits and returns -181; a failed read during completion returns its status
    // with the record as far as it was completed.
    static int ReadFlashInfo(int modelCode, ScsiRequest* request, BYTE* out, int length);
    // Raw flash pages of `block` from `page`, straight into `out`, with the caller's control
    // bytes for command bytes 10, 7, 9 and 6. `length` must be a whole number of sectors
    // that command byte 11 can carry; anything else sends nothing. The buffer is zeroed
    // first (also when nothing is sent) and stays so on failure; returns 0 or -210.
    static int ReadFlashPages(int modelCode, ScsiRequest* request, unsigned block, unsigned page,
                              BYTE* out, int length, BYTE control10, BYTE control7, BYTE control9,
                              BYTE control6);
};
