// The controller's information block: its USB configuration (device descriptor, string
// descriptors and settings). Early controllers hand it out with one command; current ones
// keep it in flash in two copies, found through the flash identity record, the page map
// or the code area's candidate table. Everything here only reads.
#pragma once

#include "platform/win32.h"
#include "sdk/transport/pass_through.h"

// Status values besides those of the reads passed through.
enum : int {
    kInfoBlockReadFailed = -101,     // flash page or early read failed, or no block found
    kSelectorPageReadFailed = -105,  // RAM page 16 of the SM3252 family could not be read
};

// The two copies of the block.
enum { kInfoBlockCopyFirst = 0, kInfoBlockCopySecond = 1 };

// The length of the trial read of the copy choice.
enum { kTrialReadSize = 1024 };

// Chooses the copy to read for `modelCode`; where the model leaves it open, reads copy 1
// and keeps it when it carries 'D' 'G' at bytes 510-511. `copyIndex` holds the caller's
// previous choice, restored when the trial read fails. Returns 0 or the trial's status.
int ChooseInfoBlockCopy(int modelCode, ScsiRequest* request, int& copyIndex);

// Reads copy `copyIndex` of the block into `out` (`length` bytes, zeroed first).
// `extraSelector` goes into byte 6 of every flash page read. Returns 0 (also when the
// controller keeps no such block: the output then stays zeroed) or a negative status.
int ReadInfoBlock(int modelCode, ScsiRequest* request, int copyIndex, BYTE* out, int length,
                  BYTE extraSelector);

// The four code-area names of SM3259 and SM3271 controllers at byte 3 of the first page of
// a candidate block; true when `page` (at least 16 bytes) carries one.
bool HasSM3259CodeAreaName(const BYTE* page);
// The code-area name of SM3281 controllers at byte 0 of the page.
bool HasSM3281CodeAreaName(const BYTE* page);
