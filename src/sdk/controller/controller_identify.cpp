#include "sdk/controller/controller_identify.h"

#include "sdk/trace/debug_trace.h"
#include "sdk/transport/scsi_dispatch.h"
#include "sdk/controller/controller_code.h"
#include "sdk/controller/model_codes.h"
#include "sdk/controller/model_table.h"
#include "sdk/controller/vendor_cdb.h"
#include "sdk/controller/vendor_cmd.h"

#include <cstring>

namespace {

// The identification page: controllers that name themselves put "SM" at 430-431 and the
// model name, NUL-terminated, from 432.
enum {
    kPageSize = 512,
    kSignatureAt = 430,
    kNameAt = 432,
    kNameLimit = kPageSize - kNameAt,
    kNameCopyLength = 8,  // "SM" and six name characters
    kNameBufferSize = 20,
    // Revision names on the confirmation page.
    kRevisionAt = 48,
    kLateRevisionAt = 79,
    // RAM page 22 of an SM3252D: the variant mark at 496-497.
    kSM3252DVariantPage = 22,
    kVariantMarkAt = 496,
    // Page 0xD8 names an SM3271 that calls itself 3270 at bytes 2-5.
    kPageD8NameAt = 2,
};

const DWORD kPreloadPauseMs = 1000;
const int kInquiryAttempts = 3;
const int kPassThroughTimeout = 5;     // seconds
const int kConfirmationTimeout = 300;  // seconds

// Memory and register spaces of the memory read and write commands, and the addresses the
// identification reads.
enum : BYTE {
    kSpaceSmiName = 0x00,    // model name of controllers that flag "smi" in their INQUIRY data
    kSpaceRegisters = 0x01,  // controller state registers
    kSpaceMemory = 0x03,     // model name and revision
    kSpaceE0 = 0xE0,  // the variant byte and the SM3282BB check registers of the SM3280 family
};
enum : unsigned long {
    kSmiModelNameAddress = 0x00FFE7,  // space 0x00: model name of "smi" controllers
    kModelNameAddress = 0xFF004D,     // space 0x03: 8-character model name
    kRevisionAddress = 0xFFFE11,      // space 0x03: revision byte of SM3270AB/SM3271AB
    kCodeStateAddress = 0xFF0029,     // space 0x01: bit 3 set while loaded code runs
    kVariantAddress = 0x000011,       // space 0xE0: variant byte of SM3280/SM3282
    kSM3282CheckAddress = 0x00006C,   // space 0xE0: SM3282BB detection, written
    kSM3282ResultAddress = 0x00006D,  // space 0xE0: SM3282BB detection, read back
};
const BYTE kCodeRunningBit = 0x08;
const BYTE kSM3282CheckValue = 0x0D;
const BYTE kSM3252DVariantMark[2] = {0x14, 0x76};

// Standard INQUIRY data that SMI controllers answer with: 00 80 05 02.
const BYTE kSmiInquiryLead[4] = {0x00, 0x80, 0x05, 0x02};
enum { kInquiryFlagAt = 53 };

bool Starts(const BYTE* at, const char* text) {
    return std::memcmp(at, text, std::strlen(text)) == 0;
}

// The model name text of a page: at most kNameLimit bytes, possibly without a NUL.
const char* NameOf(const BYTE* page) { return reinterpret_cast<const char*>(page + kNameAt); }

bool IsNamedPage(const BYTE* page) {
    // Either byte of the "SM" mark is enough.
    return page[kSignatureAt] == 'S' || page[kSignatureAt + 1] == 'M';
}

void CopyName(BYTE* name, const BYTE* page) {
    if (name) std::memcpy(name, page + kSignatureAt, kNameCopyLength);
}

bool ReadPage(ScsiRequest* request, const VendorCdb& command, BYTE* page) {
    std::memset(page, 0, kPageSize);
    return CSMISCSICmd::SCSIPassThroughRead(request, page, kPageSize, command.cdb) != 0;
}

// `length` bytes (at most 8) of a memory space into a zeroed `out`.
bool ReadMemory(ScsiRequest* request, BYTE space, unsigned long address, unsigned length,
                BYTE* out) {
    std::memset(out, 0, length);
    VendorCdb command = MemoryReadCdb(space, address, length);
    return CSMISCSICmd::SCSIPassThroughRead(request, out, command.length, command.cdb) != 0;
}

bool WriteMemory(ScsiRequest* request, BYTE space, unsigned long address, unsigned length,
                 BYTE* data) {
    VendorCdb command = MemoryWriteCdb(space, address, length);
    return CSMISCSICmd::SCSIPassThroughWrite(request, data, command.length, command.cdb) != 0;
}

bool SendCodeBlock(ScsiRequest* request, const BYTE* block) {
    // A build without controller code fails here at once: nothing is sent.
    if (block == NULL) return false;
    BYTE data[kCodeBlockSize];
    std::memcpy(data, block, sizeof data);
    VendorCdb command = CodeBlockLoadCdb();
    return CSMISCSICmd::SCSIPassThroughWrite(request, data, command.length, command.cdb) != 0;
}

// SM3270AB and SM3271AB revisions that are really SM3270AC and SM3271AC: told apart by the
// revision byte. Any other code is returned as it is.
int RefineByRevision(int code, BYTE revision) {
    if (code == kSM3270AB && (revision == 0x3C || revision == 0x4C)) return kSM3270AC;
    if (code == kSM3271AB && (revision == 0x3D || revision == 0x4D)) return kSM3271AC;
    return code;
}

// SM3280AB, SM3280BA and SM3280BB whose variant byte says SM3281AB, SM3281BA or SM3281BB.
int RefineByVariantByte(int code, BYTE variant) {
    if (code == kSM3280AB && variant == 0x2F) return kSM3281AB;
    if (code == kSM3280BA && variant == 0x8F) return kSM3281BA;
    if (code == kSM3280BB && variant == 0x9F) return kSM3281BB;
    return code;
}

struct NamedCode {
    const char* name;
    int code;
};

// The eight-byte model names in controller memory that settle the model at once.
const NamedCode kMemoryNames[] = {
    {"SM3267AB", kSM3267AB}, {"SM3270AA", kSM3270AA}, {"SM3271AA", kSM3271AA},
    {"SM3271AC", kSM3271AC}, {"SM3271AD", kSM3271AD}, {"SM3270AB", kSM3270AB},
    {"SM3271AB", kSM3271AB},
};

// Revision names on the confirmation page; the first that is present wins.
struct Revision {
    int at;
    const char* name;
    int code;
};
const Revision kRevisions[] = {
    {kRevisionAt, "3255ENA1", kSM3255ENA1},   {kRevisionAt, "3257ENLTBA", kSM3257ENBA},
    {kRevisionAt, "3257ENLTBB", kSM3257ENBB}, {kLateRevisionAt, "3261AB", kSM3261AB},
    {kLateRevisionAt, "3259AB", kSM3259AB},
};

// The SM3252D: its code image goes in first, then RAM page 22 tells the two variants apart;
// they take the codes of the SM3211BC and SM3211BC1, whose command forms they share.
int IdentifySM3252D(ScsiRequest* request) {
    const BYTE* image = SM3252DCodeImage();
    if (image == NULL) return kModelNotIdentified;
    BYTE data[kCodeImageSize];
    std::memcpy(data, image, sizeof data);
    VendorCdb load = ImageLoadCdb();
    if (!CSMISCSICmd::SCSIPassThroughWrite(request, data, load.length, load.cdb))
        return kModelNotIdentified;
    BYTE page[kPageSize];
    // Still unidentified here, so the page goes out in the early form.
    if (CSMIVendorCmd::ReadControllerRam(kModelNotIdentified, request, kSM3252DVariantPage, page,
                                         sizeof page) != 0)
        return kModelNotIdentified;
    return std::memcmp(page + kVariantMarkAt, kSM3252DVariantMark, 2) == 0 ? kSM3211BC : kSM3211BC1;
}

// The SM3282BB shares its name with the SM3280BB; a check value written to one register
// and the result read beside it tell them apart. Any failure keeps `code`.
int RefineSM3282BB(ScsiRequest* request, int code) {
    BYTE check[2];
    if (!ReadMemory(request, kSpaceE0, kSM3282CheckAddress, sizeof check, check)) return code;
    check[0] = kSM3282CheckValue;
    if (!WriteMemory(request, kSpaceE0, kSM3282CheckAddress, sizeof check, check)) return code;
    BYTE result[2];
    if (!ReadMemory(request, kSpaceE0, kSM3282ResultAddress, sizeof result, result)) return code;
    return (result[0] & 0x01) ? kSM3282BB : code;
}

// The checks that follow a model table match in stage two.
int Refine(ScsiRequest* request, int code, bool renamed) {
    if (code == kSM3255ENAA || code == kSM3257ENLT || code == kSM3261AA || code == kSM3259AA) {
        BYTE page[kPageSize];
        if (CSMIVendorCmd::ReadControllerRam(code, request, 0, page, sizeof page) != 0)
            return kModelNotIdentified;
        for (const Revision& r : kRevisions)
            if (Starts(page + r.at, r.name)) return r.code;
        return code;
    }
    if (code == kSM3270AB || code == kSM3271AB) {
        BYTE revision[2];
        if (ReadMemory(request, kSpaceMemory, kRevisionAddress, sizeof revision, revision))
            code = RefineByRevision(code, revision[0]);
    }
    if (code == kSM3271AC && renamed) {
        BYTE name[8];
        if (ReadMemory(request, kSpaceMemory, kModelNameAddress, sizeof name, name) &&
            std::memcmp(name, "SM3271AD", sizeof name) == 0)
            code = kSM3271AD;
    }
    if (code == kSM3280AB || code == kSM3280BA || code == kSM3280BB) {
        BYTE variant[2];
        if (!ReadMemory(request, kSpaceE0, kVariantAddress, sizeof variant, variant)) return code;
        int refined = RefineByVariantByte(code, variant[0]);
        if (refined == kSM3280BB) return RefineSM3282BB(request, refined);
        return refined;
    }
    return code;
}

// Stage one: the current-form identification page, matched by short name; the first
// generation's SM3254 and SM325 names that find no row give a fallback code.
// Returns true when `code` is final.
bool StageOne(ScsiRequest* request, BYTE* name, int& code) {
    BYTE page[kPageSize];
    if (!ReadPage(request, IdentificationPageCdb(false), page)) {
        code = kModelNotIdentified;
        return true;
    }
    if (!IsNamedPage(page)) return false;
    CopyName(name, page);
    int row = FindModelByShortName(NameOf(page), kNameLimit);
    if (row >= 0) {
        code = row;
        return true;
    }
    if (!Starts(page + kNameAt, "325")) return false;
    if (Starts(page + kNameAt + 3, "4AB")) {
        code = kSM3254AC;
    } else if (Starts(page + kNameAt + 3, "AB")) {
        code = kSM325AC;
    } else if (Starts(page + kNameAt + 3, "2D")) {
        code = IdentifySM3252D(request);
        return true;
    }
    return false;
}

// Stage two: the early-form identification page, matched by full name.
int StageTwo(ScsiRequest* request, BYTE* name, int code) {
    BYTE page[kPageSize];
    if (!ReadPage(request, IdentificationPageCdb(true), page)) return kModelNotIdentified;
    bool renamed = false;
    if (Starts(page + kNameAt, "3270")) {
        // An SM3271 may name itself 3270; its page 0xD8 says 3271.
        BYTE d8[kPageSize];
        if (ReadPage(request, RamPageD8Cdb(1), d8) && Starts(d8 + kPageD8NameAt, "3271")) {
            page[kNameAt + 3] = '1';
            renamed = true;
        }
    }
    CopyName(name, page);
    int row = FindModelByFullNameTail(NameOf(page), kNameLimit);
    if (row < 0) return code;
    return Refine(request, row, renamed);
}

// The ASPI strategy's name rules for the early-form page.
struct AspiName {
    const char* name;
    bool whole;      // compared as the whole text, else as a prefix
    int code;        // the code, or the preliminary code when `confirmation` is set
    int revisionAt;  // where the confirmation page names the revision
    const char* confirmation;
    int confirmedCode;
};
const AspiName kAspiNames[] = {
    {"3255AB", true, kSM3255AB, 0, NULL, 0},
    {"3255EN", false, kSM3255ENAA, kRevisionAt, "3255ENA1", kSM3255ENA1},
    {"3257ENLT", false, kSM3257ENLT, kRevisionAt, "3257ENLTBA", kSM3257ENBA},
    {"3257EN", false, kSM3257ENAA, 0, NULL, 0},
    {"3257AA", false, kSM3257AA, 0, NULL, 0},
    {"3255AC", false, kSM3255AC, 0, NULL, 0},
    {"3260AA", false, kSM3260AA, 0, NULL, 0},
    {"3260AB", false, kSM3260AB, 0, NULL, 0},
    {"3260AD", false, kSM3260AD, 0, NULL, 0},
    {"3261AA", false, kSM3261AA, kLateRevisionAt, "3261AB", kSM3261AB},
    {"3263AA", false, kSM3263AA, 0, NULL, 0},
    {"3263AB", false, kSM3263AB, 0, NULL, 0},
    {"3267AA", false, kSM3267AA, 0, NULL, 0},
    {"3267AB", false, kSM3267AB, 0, NULL, 0},
};

bool AspiNameMatches(const AspiName& rule, const char* text, size_t length) {
    size_t n = std::strlen(rule.name);
    if (rule.whole) return length == n && std::memcmp(text, rule.name, n) == 0;
    return length >= n && std::memcmp(text, rule.name, n) == 0;
}

// The model of an early-form page on the ASPI road; a preliminary code is confirmed by a
// RAM read through the pass-through with the record's device handle.
int AspiModelOf(SMIDiskInfo* info, const BYTE* page) {
    const char* text = NameOf(page);
    size_t length = 0;
    while (length < kNameLimit && text[length] != '\0') ++length;
    for (const AspiName& rule : kAspiNames) {
        if (!AspiNameMatches(rule, text, length)) continue;
        if (rule.confirmation == NULL) return rule.code;
        CurrentModelCode = rule.code;
        ScsiRequest request = MakeScsiRequest(info->deviceHandle, kConfirmationTimeout);
        BYTE confirmation[kPageSize];
        if (CSMIVendorCmd::ReadControllerRam(CurrentModelCode, &request, 0, confirmation,
                                             sizeof confirmation) == 0 &&
            Starts(confirmation + rule.revisionAt, rule.confirmation))
            return rule.confirmedCode;
        return rule.code;
    }
    return kSM3255AC;
}

void SetDescriptorOffsets(SMIDiskInfo* info, bool shifted) {
    info->descriptorOffset = shifted ? 32 : 0;
    info->secondOffset = shifted ? 58 : 0;
}

}  // namespace

int IdentifyController(SMIDiskInfo* info) {
    return UseASPI ? IdentifyControllerAspi(info) : IdentifyControllerPassThrough(info);
}

int IdentifyControllerAspi(SMIDiskInfo* info) {
    if (info == NULL) return 0;
    BYTE page[kPageSize];
    std::memset(page, 0, sizeof page);
    // Results are not tested: a failed read leaves the zeroed page.
    SCSICommandProcess(info, kScsiRead, IdentificationPageCdb(false).cdb, page, sizeof page);
    SetDescriptorOffsets(info, false);
    info->ctrlFlag = 0;
    CurrentModelCode = kModelNothingRecognised;
    if (IsNamedPage(page)) {
        if (Starts(page + kNameAt, "3254") || Starts(page + kNameAt, "3255")) {
            CurrentModelCode = kModelAspiSM3254;
            SetDescriptorOffsets(info, true);
            return 1;
        }
        BYTE variant = page[kNameAt + 4];
        if (Starts(page + kNameAt, "3252") &&
            (variant == 'D' || variant == 'G' || variant == 'd' || variant == 'g')) {
            CurrentModelCode = kSM3211BC1;
            info->ctrlFlag = 1;
        }
        return 0;
    }
    SetDescriptorOffsets(info, true);
    std::memset(page, 0, sizeof page);
    SCSICommandProcess(info, kScsiRead, IdentificationPageCdb(true).cdb, page, sizeof page);
    CurrentModelCode = AspiModelOf(info, page);
    EnsureDebugSwitchLoaded();
    return 1;
}

int IdentifyControllerPassThrough(SMIDiskInfo* info) {
    if (info == NULL) return 0;
    BYTE name[kNameBufferSize];
    std::memset(name, 0, sizeof name);
    SetDescriptorOffsets(info, false);
    info->ctrlFlag = 0;
    ScsiRequest request = MakeScsiRequest(info->deviceHandle, kPassThroughTimeout);
    int code = DetectControllerModel(&request, name);
    CurrentModelCode = code;
    info->modelCode = code;
    if (HasShiftedDescriptors(code)) {
        SetDescriptorOffsets(info, true);
    } else {
        info->ctrlFlag = code == kSM3211BC1 ? 1 : 0;
    }
    EnsureDebugSwitchLoaded();
    return code != kModelNotIdentified ? 1 : 0;
}

int DetectControllerModel(ScsiRequest* request, BYTE* name) {
    int code = kModelNotIdentified;
    if (!ProbeModelByInquiry(request, code)) return kModelNotIdentified;
    if (code == kSM3267AB || IsWideAddressModel(code)) return code;
    if (TakesCodePreload(code)) {
        // The code runs from here on whether or not the load succeeded.
        PreloadControllerCode(request, code);
        return code;
    }
    if (StageOne(request, name, code)) return code;
    return StageTwo(request, name, code);
}

int ProbeModelByInquiry(ScsiRequest* request, int& modelCode) {
    modelCode = kModelNotIdentified;
    BYTE inquiry[kInquiryDataLength];
    std::memset(inquiry, 0, sizeof inquiry);
    bool answered = false;
    for (int attempt = 0; attempt < kInquiryAttempts && !answered; ++attempt)
        answered = CSMISCSICmd::SCSIPassThroughInquiry(request, inquiry, 1) != 0;
    if (!answered) return 0;
    if (std::memcmp(inquiry, kSmiInquiryLead, sizeof kSmiInquiryLead) != 0) return 1;

    BYTE name[8];
    if (Starts(inquiry + kInquiryFlagAt, "smi")) {
        if (!ReadMemory(request, kSpaceSmiName, kSmiModelNameAddress, sizeof name, name)) return 0;
        if (std::memcmp(name, "SM3280AB", sizeof name) == 0)
            modelCode = kSM3280AB;
        else if (std::memcmp(name, "SM3280BA", sizeof name) == 0)
            modelCode = kSM3280BA;
        else
            return 1;
        BYTE variant[2];
        if (!ReadMemory(request, kSpaceE0, kVariantAddress, sizeof variant, variant)) return 0;
        modelCode = RefineByVariantByte(modelCode, variant[0]);
        return 1;
    }

    if (!ReadMemory(request, kSpaceMemory, kModelNameAddress, sizeof name, name)) return 0;
    for (const NamedCode& known : kMemoryNames) {
        if (std::memcmp(name, known.name, sizeof name) != 0) continue;
        modelCode = known.code;
        if (modelCode == kSM3270AB || modelCode == kSM3271AB) {
            BYTE revision[2];
            if (!ReadMemory(request, kSpaceMemory, kRevisionAddress, sizeof revision, revision))
                return 0;
            modelCode = RefineByRevision(modelCode, revision[0]);
        }
        break;
    }
    return 1;
}

int PreloadControllerCode(ScsiRequest* request, int modelCode) {
    BYTE state[2];
    if (!ReadMemory(request, kSpaceRegisters, kCodeStateAddress, sizeof state, state)) return 0;
    if (state[0] & kCodeRunningBit) return 1;
    // SM3270AA and SM3271AA take no blocks; they only get the pause.
    bool sendsBlocks = modelCode != kSM3270AA && modelCode != kSM3271AA;
    if (sendsBlocks && !SendCodeBlock(request, ControllerCodeBlock(modelCode, 0))) return 0;
    Sleep(kPreloadPauseMs);
    if (!sendsBlocks) return 1;
    return SendCodeBlock(request, ControllerCodeBlock(modelCode, 1)) ? 1 : 0;
}
