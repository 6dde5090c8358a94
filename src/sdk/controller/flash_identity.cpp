#include "sdk/controller/flash_identity.h"

#include "sdk/controller/model_codes.h"
#include "sdk/controller/vendor_cmd.h"

#include <cstring>

namespace {

enum : DWORD {
    kPageD8 = 0xD8,
    kPageDC = 0xDC,
    kPageF8 = 0xF8,
    kWideSettingsAddress = 0xC0001800UL,
};

// The flash identification entries: where they start, how large each is and how many
// count, by model.
struct EntryTable {
    int start, size, count;
};

bool SameTwoBytes(const BYTE* a, const BYTE* b) { return a[0] == b[0] && a[1] == b[1]; }

EntryTable EntriesOf(int code, const BYTE* record) {
    EntryTable t;
    if (IsMiddleModel(code) || IsCurrentModel(code)) {
        t.start = 48;
        t.size = 16;
    } else {
        t.start = 32;
        // The first generation writes 16-byte entries when the table repeats at 96.
        t.size = IsFirstGenerationModel(code) && SameTwoBytes(record + 96, record + 32) ? 16 : 8;
    }
    if (IsFirstGenerationModel(code) || InModelRange(code, kPageD8Models))
        t.count = 8;
    else
        t.count = SameTwoBytes(record + t.start + 128, record + t.start) ? 16 : 8;
    return t;
}

// Entries whose first two bytes are zero are empty: they are cleared whole. With sixteen
// entries of sixteen bytes this reaches byte 303, over the block numbers at 256-275.
void ClearEmptyEntries(int code, BYTE* record) {
    EntryTable t = EntriesOf(code, record);
    for (int i = 0; i < t.count; ++i) {
        BYTE* entry = record + t.start + i * t.size;
        if (entry[0] == 0 && entry[1] == 0) std::memset(entry, 0, static_cast<size_t>(t.size));
    }
}

void TakeSfrBytes(BYTE* record, const BYTE* sfr) {
    record[10] = sfr[289];
    record[11] = sfr[290];
    record[13] = sfr[291];
    record[14] = sfr[292];
    record[15] = sfr[128];
    record[321] = sfr[302];
}

void TakeSfrGeometry(BYTE* record, const BYTE* sfr) {
    record[12] = sfr[138];
    record[16] = sfr[139];
    record[17] = sfr[140];
    std::memcpy(record + 18, sfr + 132, 4);
    record[22] = sfr[136];
    record[23] = sfr[137];
    record[24] = sfr[130];
    record[25] = sfr[131];
    record[309] = sfr[129];
}

// Wide-address models keep the block numbers little-endian in the raw reply and the
// addressing mode in their settings RAM.
int CompleteWideAddress(int code, ScsiRequest* request, BYTE* record, const BYTE* raw) {
    BYTE settings[kFlashRecordSize];
    int status = CSMIVendorCmd::ReadControllerRam(code, request, kWideSettingsAddress, settings,
                                                  sizeof settings);
    if (status != 0) return status;
    record[256] = raw[353];
    record[257] = raw[352];
    record[258] = raw[357];
    record[259] = raw[356];
    record[339] = raw[354];
    record[340] = raw[358];
    record[28] = raw[419];
    record[29] = raw[418];
    record[30] = raw[417];
    record[31] = raw[416];
    record[15] = raw[0];
    record[16] = settings[32];
    record[9] = raw[3];
    // Bit 9 of the little-endian word at 16 is bit 1 of byte 17.
    record[kRecordAddressing] = static_cast<BYTE>((record[kRecordAddressing] & ~0x20) |
                                                  ((settings[17] & 0x02) ? 0x20 : 0x00));
    return 0;
}

}  // namespace

int CompleteFlashIdentity(int modelCode, ScsiRequest* request, BYTE* record) {
    BYTE raw[kFlashRecordSize];
    std::memcpy(raw, record, sizeof raw);
    ClearEmptyEntries(modelCode, record);
    if (!IsCurrentModel(modelCode)) return 0;
    if (IsWideAddressModel(modelCode)) return CompleteWideAddress(modelCode, request, record, raw);

    BYTE sfr[kSfrReplySize];
    int status = CSMIVendorCmd::ReadControllerSfr(modelCode, request, sfr, sizeof sfr);
    if (status != 0) return status;
    TakeSfrBytes(record, sfr);

    BYTE page[kFlashRecordSize];
    if (KeepsSettingsInPageD8(modelCode)) {
        status = CSMIVendorCmd::ReadControllerRam(modelCode, request, kPageD8, page, sizeof page);
        if (status != 0) return status;
        status = CSMIVendorCmd::ReadControllerRam(modelCode, request, kPageDC, page, sizeof page);
        if (status != 0) return status;
        if (InModelRange(modelCode, kRelocatedBlockNumberModels)) {
            std::memcpy(record + 464, record + 256, 48);
            std::memset(record + 256, 0, 48);
            std::memcpy(record + 256, page + 72, 24);
        }
    } else {
        status = CSMIVendorCmd::ReadControllerRam(modelCode, request, kPageF8, page, sizeof page);
        if (status != 0) return status;
    }
    if (TakesGeometryFromSfr(modelCode)) TakeSfrGeometry(record, sfr);
    return 0;
}
