#include "sdk/controller/info_block.h"

#include "sdk/controller/flash_identity.h"
#include "sdk/controller/model_codes.h"
#include "sdk/controller/page_map.h"
#include "sdk/controller/vendor_cdb.h"
#include "sdk/controller/vendor_cmd.h"

#include <algorithm>
#include <cstring>

namespace {

enum : DWORD {
    kPageD8 = 0xD8,
    kPageF8 = 0xF8,
    kSelectorPage = 16,  // RAM page whose byte 256 selects the early block (codes 5-6)
    kWideSettingsAddress = 0xC0001800UL,
};

enum : unsigned { kNoBlock = 0xFFFF };

// The block begins with a USB device descriptor: its length and its type.
enum : BYTE { kDeviceDescriptorLength = 0x12, kDeviceDescriptorType = 0x01 };

// Flash page read control bytes (command bytes 7, 9 and 10).
enum : BYTE {
    kAddressingWide = 0x30,  // record byte 14 bit 5 set
    kAddressingNarrow = 0x10,
    kScanPageRead = 0x32,
    kScanFirstPageSM3257 = 0x3E,
    kWidePageRead = 0x12,
    kWideBlockSelectorLow = 0x06,
    kSM3259Control10 = 0x06,
    kCodeAreaProbe = 0x5E,
    kCodeAreaRead = 0x12,
    kCodeAreaControl10 = 0x04,
    kSM3281Control7 = 0x34,
};

enum {
    kScanAttempts = 20,
    kScanReplySize = 2048,
    kScanCopyLimit = 1024,
    kEarlyReplySize = 3072,
    kSecondCopyReplySize = 1536,
    kSecondCopyReadSectors = 2,
    kCodeAreaBufferSize = 1024,
    kCodeAreaPageSize = 1024,
};

// Positions in the controller settings and code-area data.
enum : int {
    kSelectorByte = 256,  // RAM page 16, codes 5-6
    kSettingsSecondCopyBlock = 12,
    kSettingsAltBlockMaker = 94,  // code 24: equal to the flash maker selects 272-273
    kSettingsUsesPageMap = 513,   // 0: the second copy is on page 1
    kSM3259Candidates = 141,      // + 8 i + 2 j, big-endian, FF FF empty
    kSM3259BitmapSelect = 305,    // bit 2
    kSM3271Bitmap = 512,
    kSM3271BitmapBytes = 256,
    kSM3259BitmapClear = 576,
    kSM3259BitmapSet = 640,
    kSM3259BitmapBytes = 128,
    kSM3281Candidates = 320,  // + 16 i + 4 j: little-endian block, then the selector
    kSM3281Bitmap = 512,
    kSM3281BitmapBytes = 128,
    kSignatureD = 510,  // 'D' 'G' end the first sector of copy 1
};

// Flash maker whose second copy is always at the record's block.
enum : BYTE { kMakerRecordBlock = 0xEC };

const char* const kSM3259Names[] = {"SM3259AA_ISP", "SM3271AA_ISP", "SM3271AB_ISP", "SM3271AD_ISP"};
const char kSM3281Name[] = "SM3280ISP";
enum { kSM3259NameOffset = 3 };

BYTE Addressing(const BYTE* record) {
    return (record[kRecordAddressing] & 0x20) ? kAddressingWide : kAddressingNarrow;
}

unsigned GetLe16(const BYTE* at) { return unsigned(at[0]) | (unsigned(at[1]) << 8); }

void CopyOut(BYTE* out, int length, const BYTE* from, int size) {
    int n = std::min(length, size);
    if (n > 0) std::memcpy(out, from, static_cast<size_t>(n));
}

bool Read(ScsiRequest* request, const VendorCdb& command, BYTE* reply) {
    return CSMISCSICmd::SCSIPassThroughRead(request, reply, command.length, command.cdb) != 0;
}

// Copy 0 of current models: the first of pages 0-19 of the record's block that begins
// with the device descriptor.
int ScanFlash(int code, ScsiRequest* request, BYTE* out, int length, BYTE extra) {
    BYTE record[kFlashRecordSize];
    int status = CSMIVendorCmd::ReadFlashInfo(code, request, record, sizeof record);
    if (status != 0) return status;
    unsigned block = GetBe16(record + kRecordInfoBlock);
    if (block == kNoBlock || record[kRecordScanEnable] == 0) return 0;

    BYTE reply[kScanReplySize] = {0};
    for (int attempt = 0; attempt < kScanAttempts; ++attempt) {
        BYTE control9 = kScanPageRead;
        BYTE control10 = 0;
        if (IsWideAddressModel(code)) {
            control9 = kWidePageRead;
            control10 =
                static_cast<BYTE>((record[kRecordBlockSelector] << 4) | kWideBlockSelectorLow);
        } else if (attempt == 0 && InModelRange(code, kSM3257Models)) {
            control9 = kScanFirstPageSM3257;
        }
        VendorCdb command =
            FlashPageReadCdb(block, static_cast<unsigned>(attempt), extra, Addressing(record),
                             control9, control10, kScanReplySize / kSectorSize);
        std::memset(reply, 0, sizeof reply);
        if (!Read(request, command, reply)) return kInfoBlockReadFailed;
        if (reply[0] == kDeviceDescriptorLength && reply[1] == kDeviceDescriptorType) break;
    }
    if (reply[0] != kDeviceDescriptorLength) return kInfoBlockReadFailed;
    CopyOut(out, length, reply, kScanCopyLimit);
    return 0;
}

// Copy 0 of early and middle models: one command hands the block out.
int ReadEarly(int code, ScsiRequest* request, BYTE* out, int length) {
    BYTE selector = 0;
    if (InModelRange(code, kSelectedEarlyBlockModels)) {
        BYTE page[kSectorSize];
        if (CSMIVendorCmd::ReadControllerRam(code, request, kSelectorPage, page, sizeof page) != 0)
            return kSelectorPageReadFailed;
        selector = page[kSelectorByte];
    }
    VendorCdb command = EarlyInfoBlockReadCdb(selector, IsMiddleModel(code) ? 4 : 1);
    BYTE reply[kEarlyReplySize] = {0};
    if (!Read(request, command, reply)) {
        if (length > 0) std::memset(out, 0, static_cast<size_t>(length));
        return kInfoBlockReadFailed;
    }
    CopyOut(out, length, reply, kEarlyReplySize);
    return 0;
}

// Copy 1 where the controller settings, the flash identity record and the page map
// locate it.
int ReadSecondCopy(int code, ScsiRequest* request, BYTE* out, int length, BYTE extra) {
    BYTE settings[kRamReplySize] = {0};
    DWORD settingsPage = InModelRange(code, kPageD8Models) ? kPageD8 : kPageF8;
    int result =
        CSMIVendorCmd::ReadControllerRam(code, request, settingsPage, settings, sizeof settings);
    WORD map[kPageMapEntries];
    BuildPageMap(code, request, map);
    BYTE record[kFlashRecordSize];
    CSMIVendorCmd::ReadFlashInfo(code, request, record, sizeof record);

    unsigned block = GetBe16(settings + kSettingsSecondCopyBlock);
    if (IsCurrentModel(code) && code != kModelOwnSecondCopyBlock) {
        if (block == 0 || record[kRecordFlashMaker] == kMakerRecordBlock ||
            code == kModelSingleInfoBlock)
            block = GetBe16(record + kRecordInfoBlock);
        if (code == kModelSM3257ENBA &&
            settings[kSettingsAltBlockMaker] == record[kRecordFlashMaker])
            block = GetBe16(record + kRecordAltInfoBlock);
    }
    unsigned page = settings[kSettingsUsesPageMap] == 0 ? 1u : (map[1] & 0xFFu);
    BYTE control10 = InModelRange(code, kSM3259CodeAreaModels) ? kSM3259Control10 : 0;
    VendorCdb command = FlashPageReadCdb(block, page, extra, Addressing(record), kScanPageRead,
                                         control10, kSecondCopyReadSectors);
    if (block == kNoBlock) return 0;

    BYTE reply[kSecondCopyReplySize] = {0};
    bool ok = Read(request, command, reply);
    CopyOut(out, length, reply, kSecondCopyReplySize);
    return ok ? result : kInfoBlockReadFailed;
}

// A candidate block of a code area: its first usable page carries the code-area name,
// its second usable page holds copy 1. `found` tells whether the name matched.
struct CodeAreaRead {
    const BYTE* bitmap;
    int bitmapBytes;
    BYTE control7, probe9, read9, control10;
    bool (*named)(const BYTE*);
};

// Returns 0 when the candidate is not the code area (`found` false), else the status of
// the read of copy 1 into `out`.
int ReadCandidate(int code, ScsiRequest* request, unsigned block, const CodeAreaRead& area,
                  BYTE* out, int length, BYTE extra, bool& found) {
    found = false;
    int first = NthSetBit(area.bitmap, area.bitmapBytes, 0);
    if (first < 0) return 0;  // no usable page: nothing to read
    BYTE page[kCodeAreaPageSize];
    if (CSMIVendorCmd::ReadFlashPages(code, request, block, static_cast<unsigned>(first), page,
                                      sizeof page, area.control10, area.control7, area.probe9,
                                      0) != 0)
        return kVendorReadFailed;
    if (!area.named(page)) return 0;
    found = true;
    int second = NthSetBit(area.bitmap, area.bitmapBytes, 1);
    if (second < 0) return 0;  // the block holds no copy: the output stays zeroed
    return CSMIVendorCmd::ReadFlashPages(code, request, block, static_cast<unsigned>(second), out,
                                         length, area.control10, area.control7, area.read9, extra);
}

int ReadSM3259CodeArea(int code, ScsiRequest* request, BYTE* out, int length, BYTE extra) {
    BYTE record[kCodeAreaBufferSize];
    int status = CSMIVendorCmd::ReadFlashInfo(code, request, record, sizeof record);
    if (status != 0) return status;
    if (GetBe16(record + kRecordCodeArea) == kNoBlock) return 0;

    BYTE settings[kCodeAreaBufferSize] = {0};
    if (!Read(request, RamPageD8Cdb(2), settings)) std::memset(settings, 0, sizeof settings);
    CodeAreaRead area;
    // SM3271 codes 54-57 keep one large bitmap; the others choose one of two.
    if (InModelRange(code, kSM3271Models)) {
        area.bitmap = settings + kSM3271Bitmap;
        area.bitmapBytes = kSM3271BitmapBytes;
    } else {
        area.bitmap = settings + ((settings[kSM3259BitmapSelect] & 0x04) ? kSM3259BitmapSet
                                                                         : kSM3259BitmapClear);
        area.bitmapBytes = kSM3259BitmapBytes;
    }
    area.control7 = 0x00;
    area.probe9 = kCodeAreaProbe;
    area.read9 = kCodeAreaRead;
    area.control10 = kCodeAreaControl10;
    area.named = HasSM3259CodeAreaName;

    for (int i = 0; i < 3; ++i) {
        for (int j = 3; j >= 1; --j) {
            unsigned block = GetBe16(settings + kSM3259Candidates + 8 * i + 2 * j);
            if (block == kNoBlock) continue;
            bool found = false;
            status = ReadCandidate(code, request, block, area, out, length, extra, found);
            if (status != 0 || found) return status;
        }
    }
    return 0;
}

int ReadSM3281CodeArea(int code, ScsiRequest* request, BYTE* out, int length, BYTE extra) {
    BYTE record[kCodeAreaBufferSize] = {0};
    CSMIVendorCmd::ReadFlashInfo(code, request, record, sizeof record);
    if (GetLe16(record + kRecordCodeAreaCount) == 0) return 0;

    BYTE settings[kCodeAreaBufferSize];
    CSMIVendorCmd::ReadControllerRam(code, request, kWideSettingsAddress, settings,
                                     sizeof settings);
    CodeAreaRead area;
    area.bitmap = settings + kSM3281Bitmap;
    area.bitmapBytes = kSM3281BitmapBytes;
    area.control7 = kSM3281Control7;
    area.probe9 = kCodeAreaRead;
    area.read9 = kCodeAreaRead;
    area.named = HasSM3281CodeAreaName;

    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            const BYTE* entry = settings + kSM3281Candidates + 16 * i + 4 * j;
            unsigned block = GetLe16(entry);
            if (block == 0) continue;
            area.control10 = static_cast<BYTE>((entry[2] << 4) | kCodeAreaControl10);
            bool found = false;
            int status = ReadCandidate(code, request, block, area, out, length, extra, found);
            if (status != 0 || found) return status;
        }
    }
    return 0;
}

}  // namespace

bool HasSM3259CodeAreaName(const BYTE* page) {
    for (const char* name : kSM3259Names)
        if (std::memcmp(page + kSM3259NameOffset, name, std::strlen(name)) == 0) return true;
    return false;
}

bool HasSM3281CodeAreaName(const BYTE* page) {
    return std::memcmp(page, kSM3281Name, sizeof kSM3281Name - 1) == 0;
}

int ReadInfoBlock(int modelCode, ScsiRequest* request, int copyIndex, BYTE* out, int length,
                  BYTE extraSelector) {
    if (length < 0 || (out == NULL && length > 0)) return kInfoBlockReadFailed;
    if (length > 0) std::memset(out, 0, static_cast<size_t>(length));
    if (copyIndex == kInfoBlockCopySecond && modelCode != kModelSingleInfoBlock) {
        if (InModelRange(modelCode, kSM3259CodeAreaModels))
            return ReadSM3259CodeArea(modelCode, request, out, length, extraSelector);
        if (InModelRange(modelCode, kSM3281CodeAreaModels))
            return ReadSM3281CodeArea(modelCode, request, out, length, extraSelector);
        return ReadSecondCopy(modelCode, request, out, length, extraSelector);
    }
    if (IsCurrentModel(modelCode)) return ScanFlash(modelCode, request, out, length, extraSelector);
    return ReadEarly(modelCode, request, out, length);
}

int ChooseInfoBlockCopy(int modelCode, ScsiRequest* request, int& copyIndex) {
    if (InModelRange(modelCode, kSM3271Models)) {
        copyIndex = kInfoBlockCopySecond;
        return 0;
    }
    if (IsBelowCurrentModels(modelCode) || InModelRange(modelCode, kAlwaysFirstCopyModels)) {
        copyIndex = kInfoBlockCopyFirst;
        return 0;
    }
    int previous = copyIndex;
    copyIndex = kInfoBlockCopySecond;
    BYTE trial[kTrialReadSize] = {0};
    int status = ReadInfoBlock(modelCode, request, kInfoBlockCopySecond, trial, sizeof trial, 0);
    if (status != 0) {
        copyIndex = previous;
        return status;
    }
    bool marked = trial[kSignatureD] == 'D' && trial[kSignatureD + 1] == 'G';
    copyIndex =
        marked && modelCode != kModelSingleInfoBlock ? kInfoBlockCopySecond : kInfoBlockCopyFirst;
    return 0;
}
