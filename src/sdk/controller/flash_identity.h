// Completion of the flash identity record: the 512-byte flash information reply brought
// into one layout whatever the controller model, taking what newer controllers keep in
// their special function registers and RAM pages.
#pragma once

#include "platform/win32.h"
#include "sdk/transport/pass_through.h"

// Positions of the record that readers use.
enum : int {
    kRecordScanEnable = 9,       // 0 stops the flash scan; bit 0 read by the page map
    kRecordPageMapFlags = 10,    // bit 6 read by the page map
    kRecordAddressing = 14,      // bit 5: flash page reads address with 0x30, else 0x10
    kRecordGeometry = 17,        // compared with 8 by the page map on codes 22-25
    kRecordFlashMaker = 48,      // first byte of the first flash identification entry
    kRecordInfoBlock = 258,      // 16-bit flash block of the information block; FF FF none
    kRecordAltInfoBlock = 272,   // alternative block number (SM3257ENBA)
    kRecordCodeArea = 274,       // FF FF: no code area in flash (SM3259, SM3271)
    kRecordBlockSelector = 340,  // high nibble of command byte 10 (wide-address models)
    kRecordCodeAreaCount = 388,  // little-endian count of code areas (SM3281)
};

enum { kFlashRecordSize = 512 };

// Completes `record` (at least 512 bytes), which holds the raw reply, for `modelCode`.
// Reads the SFR page and RAM pages where the model keeps part of the identity. Returns 0,
// or the status of a failed read with the record completed as far as it got.
int CompleteFlashIdentity(int modelCode, ScsiRequest* request, BYTE* record);
