// The page map of a flash block: which physical flash page holds each page index of a
// block, as the controller's settings describe it, and the page bitmaps that list a
// block's usable pages.
#pragma once

#include "platform/win32.h"
#include "sdk/transport/pass_through.h"

enum {
    kPageMapEntries = 2048,
    kPackedMapTableBytes = 144,  // 16 groups of 9 bytes
    kPackedMapEntries = 128,
};

// Where the controller keeps its page map, as its settings choose.
enum PageMapRule {
    kPageMapIdentity,         // no page map: entry i is i
    kPageMapPackedPageF8,     // 9-bit table at byte 480 of RAM page 0xF8
    kPageMapPackedPageFA,     // 9-bit table at the table offset of RAM page 0xFA
    kPageMapWideBitmap,       // set bits of the wide-address settings' bytes 512-767
    kPageMapBitmapFromByte4,  // set bits of a map page from byte 4 on
    kPageMapByteList,         // a map page whose byte i is entry i
};

// What the controller's settings say about its page map.
struct PageMapChoice {
    PageMapRule rule;
    int tableOffset;  // start of the 9-bit table in RAM page 0xFA
    bool special;
    BYTE mapPage;  // RAM page holding the bitmap (codes that keep settings in page 0xD8)
};

// The bit position of the (n+1)-th set bit of the `bitmapBytes`-byte bitmap (bit k is bit
// k mod 8 of byte k / 8, least significant bit first), or -1 when the bitmap holds fewer.
int NthSetBit(const BYTE* bitmap, int bitmapBytes, int n);

// Writes the positions of the set bits of `bytes` bytes, in increasing order, to `map`
// from entry 0, at most kPageMapEntries of them. Returns how many were written.
int ListSetBits(const BYTE* bitmap, int bytes, WORD* map);

// Unpacks a 144-byte table of 16 groups: in each group byte 0 holds the ninth bits, most
// significant first, and bytes 1-8 the low bytes of eight entries. Writes 128 entries.
void UnpackNineBitTable(const BYTE* table, WORD* entries);

// Chooses the page map rule from the flash identity record `record`, the SFR page `sfr`,
// the controller settings `settings` (RAM page 0xD8 or 0xF8, or the wide-address settings
// RAM; at least 1024 bytes) for `modelCode`.
PageMapChoice ChoosePageMap(int modelCode, const BYTE* record, const BYTE* sfr,
                            const BYTE* settings);

// Fills `map` (kPageMapEntries entries) for `modelCode`, reading the controller's
// settings through `request`. Failed reads leave their data zero.
void BuildPageMap(int modelCode, ScsiRequest* request, WORD* map);
