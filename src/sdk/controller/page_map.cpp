#include "sdk/controller/page_map.h"

#include "sdk/controller/flash_identity.h"
#include "sdk/controller/model_codes.h"
#include "sdk/controller/vendor_cmd.h"

#include <algorithm>
#include <cstring>

namespace {

enum : DWORD {
    kPageD8 = 0xD8,
    kPageF8 = 0xF8,
    kPageFA = 0xFA,
    kWideSettingsAddress = 0xC0001800UL,
};

// Positions in the controller data that the page map reads.
enum : int {
    kSettingsSpecialFlag = 15,      // bit 0, with bit 1 of byte 407: special map (33-36)
    kWideFlags = 16,                // little-endian 32-bit flags (wide-address settings)
    kWideMoreFlags = 20,            // little-endian 32-bit flags (wide-address settings)
    kSettingsSM3257Off = 294,       // bit 2 turns the map off (SM3257 family)
    kSettingsMapOff = 370,          // bit 6 turns the map off unless the map is packed
    kSettingsLateOff = 373,         // bit 1 turns the map off (codes 26-57)
    kSettingsMapPage = 376,         // RAM page holding the map (codes keeping page 0xD8)
    kSettingsSpecialConfirm = 407,  // bit 1
    kSfrPackedMap = 290,            // bit 5: the map is a packed 9-bit table
    kSfrMapSwitch = 292,            // bit 4: the controller uses a page map
    kPackedTableInPageF8 = 480,
    kWideBitmap = 512,
    kWideBitmapBytes = 256,
    kMapPageFirstBitmapByte = 4,
    kMapPageBytes = 512,
    kSettingsBytes = 1024,
};

enum : int { kTableOffset = 368, kEarlyTableOffset = 360 };
// Flash maker code whose table may start early on code 20.
enum : BYTE { kMakerEarlyTable = 0x89 };

DWORD GetLe32(const BYTE* at) {
    return DWORD(at[0]) | (DWORD(at[1]) << 8) | (DWORD(at[2]) << 16) | (DWORD(at[3]) << 24);
}

bool Bit(DWORD value, int bit) { return ((value >> bit) & 1u) != 0; }

void FillIdentity(WORD* map) {
    for (int i = 0; i < kPageMapEntries; ++i) map[i] = static_cast<WORD>(i);
}

// A RAM read whose failure counts as zero data: the failure text a failed read leaves in
// the buffer is not map data.
void ReadRamOrZero(int code, ScsiRequest* request, DWORD page, BYTE* out, int length) {
    if (CSMIVendorCmd::ReadControllerRam(code, request, page, out, length) != 0)
        std::memset(out, 0, static_cast<size_t>(length));
}

}  // namespace

int NthSetBit(const BYTE* bitmap, int bitmapBytes, int n) {
    if (bitmap == NULL || n < 0) return -1;
    int seen = 0;
    for (int k = 0; k < bitmapBytes * 8; ++k) {
        if ((bitmap[k / 8] >> (k % 8)) & 1) {
            if (seen == n) return k;
            ++seen;
        }
    }
    return -1;
}

int ListSetBits(const BYTE* bitmap, int bytes, WORD* map) {
    int count = 0;
    for (int k = 0; k < bytes * 8 && count < kPageMapEntries; ++k)
        if ((bitmap[k / 8] >> (k % 8)) & 1) map[count++] = static_cast<WORD>(k);
    return count;
}

void UnpackNineBitTable(const BYTE* table, WORD* entries) {
    for (int g = 0; g < kPackedMapTableBytes / 9; ++g) {
        const BYTE* group = table + 9 * g;
        for (int a = 0; a < 8; ++a) {
            unsigned high = (group[0] >> (7 - a)) & 1u;
            entries[8 * g + a] = static_cast<WORD>((high << 8) | group[1 + a]);
        }
    }
}

PageMapChoice ChoosePageMap(int modelCode, const BYTE* record, const BYTE* sfr,
                            const BYTE* settings) {
    PageMapChoice c;
    c.rule = kPageMapIdentity;
    c.tableOffset = kTableOffset;
    c.special = false;
    c.mapPage = settings[kSettingsMapPage];
    if (!IsCurrentModel(modelCode)) return c;

    const bool wide = IsWideAddressModel(modelCode);
    const DWORD flags = GetLe32(settings + kWideFlags);
    const DWORD moreFlags = GetLe32(settings + kWideMoreFlags);
    bool on = wide ? Bit(flags, 13) : (sfr[kSfrMapSwitch] & 0x10) != 0;

    if (InModelRange(modelCode, kRefinedPageMapModels)) {
        if ((record[kRecordScanEnable] & 0x01) && record[kRecordFlashMaker] == kMakerEarlyTable &&
            modelCode == kModelEarlyMapTable)
            c.tableOffset = kEarlyTableOffset;
        if (wide) {
            if (Bit(flags, 8) && !Bit(moreFlags, 1)) on = false;
        } else if ((settings[kSettingsMapOff] & 0x40) && !(sfr[kSfrPackedMap] & 0x20)) {
            on = false;
        }
        if (InModelRange(modelCode, kSM3257Models) && (settings[kSettingsSM3257Off] & 0x04))
            on = false;
        if (InModelRange(modelCode, kPageD8Models)) {
            if (wide ? Bit(flags, 10) : (settings[kSettingsLateOff] & 0x02) != 0) on = false;
        }
        if (InModelRange(modelCode, kSpecialPageMapModels) &&
            (settings[kSettingsSpecialFlag] & 0x01) && (settings[kSettingsSpecialConfirm] & 0x02)) {
            on = true;
            c.special = true;
        }
    }
    if (!on) return c;

    const bool packed = (sfr[kSfrPackedMap] & 0x20) != 0;
    if (packed && record[kRecordGeometry] > 8 && InModelRange(modelCode, kSM3257Models) &&
        !(record[kRecordPageMapFlags] & 0x40) && !c.special)
        c.rule = kPageMapPackedPageF8;
    else if (packed && !c.special && !wide)
        c.rule = kPageMapPackedPageFA;
    else if (wide)
        c.rule = kPageMapWideBitmap;
    else if (InModelRange(modelCode, kByteListPageMapModels))
        c.rule = kPageMapByteList;
    else
        c.rule = kPageMapBitmapFromByte4;
    return c;
}

void BuildPageMap(int modelCode, ScsiRequest* request, WORD* map) {
    std::fill(map, map + kPageMapEntries, WORD(0));
    if (!IsCurrentModel(modelCode)) {
        FillIdentity(map);
        return;
    }

    BYTE record[kFlashRecordSize];
    BYTE sfr[kSfrReplySize] = {0};
    BYTE settings[kSettingsBytes];
    CSMIVendorCmd::ReadFlashInfo(modelCode, request, record, sizeof record);
    if (IsWideAddressModel(modelCode)) {
        ReadRamOrZero(modelCode, request, kWideSettingsAddress, settings, sizeof settings);
    } else {
        DWORD page = KeepsSettingsInPageD8(modelCode) ? kPageD8 : kPageF8;
        ReadRamOrZero(modelCode, request, page, settings, sizeof settings);
        if (CSMIVendorCmd::ReadControllerSfr(modelCode, request, sfr, sizeof sfr) != 0)
            std::memset(sfr, 0, sizeof sfr);
    }

    PageMapChoice choice = ChoosePageMap(modelCode, record, sfr, settings);
    // The map page of the bitmap and byte-list rules.
    DWORD mapPage = KeepsSettingsInPageD8(modelCode) ? DWORD(choice.mapPage) : DWORD(kPageFA);
    BYTE page[kSettingsBytes];
    switch (choice.rule) {
        case kPageMapIdentity: FillIdentity(map); break;
        case kPageMapPackedPageF8:
            ReadRamOrZero(modelCode, request, kPageF8, page, kSettingsBytes);
            UnpackNineBitTable(page + kPackedTableInPageF8, map);
            break;
        case kPageMapPackedPageFA:
            ReadRamOrZero(modelCode, request, kPageFA, page, kMapPageBytes);
            UnpackNineBitTable(page + choice.tableOffset, map);
            break;
        case kPageMapWideBitmap: ListSetBits(settings + kWideBitmap, kWideBitmapBytes, map); break;
        case kPageMapBitmapFromByte4:
            ReadRamOrZero(modelCode, request, mapPage, page, kMapPageBytes);
            ListSetBits(page + kMapPageFirstBitmapByte, kMapPageBytes - kMapPageFirstBitmapByte,
                        map);
            break;
        case kPageMapByteList:
            ReadRamOrZero(modelCode, request, mapPage, page, kMapPageBytes);
            for (int i = 0; i < kMapPageBytes; ++i) map[i] = page[i];
            break;
    }
}
