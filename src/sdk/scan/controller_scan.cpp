#include "sdk/scan/controller_scan.h"

#include "sdk/scan/hardware_keys.h"
#include "sdk/system/drive_paths.h"
#include "sdk/system/windows_version.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/aspi_transport.h"
#include "sdk/transport/pass_through.h"

#include <cstring>

namespace {

const char kAspiLibrary[] = "wnaspi32.dll";
// Vendor identification of eight blanks and a product identification beginning with
// "USB MEMORY BAR": a controller that reports no vendor.
const char kBlankVendorModel[] = "        USB MEMORY BAR";
const int kScanTimeoutSeconds = 5;

// What Windows answered the last pass-through scan for each letter A to Z: the error of
// the refused volume open or INQUIRY, 0 when both succeeded or the letter was not probed.
DWORD ScanAnswers['Z' - 'A' + 1];

// INQUIRY of drive `letter` through its own volume handle; `*answer` receives the error of
// the open or of the request that failed, 0 when the request went through.
int Inquire(char letter, BYTE* record, DWORD* answer) {
    *answer = 0;
    ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, kScanTimeoutSeconds);
    if (!CSMISCSICmd::OpenSMIDiskUnlocked(&request, VolumePathOf(letter).text)) {
        *answer = GetLastError();
        return 0;
    }
    int result = CSMISCSICmd::SCSIPassThroughInquiry(&request, record, 0);
    if (result == 0) *answer = GetLastError();
    CloseHandle(request.deviceHandle);
    return result;
}

// Loads the ASPI library and returns the number of host adapters it reports, or -1 when
// the library or its support-information entry point is missing (the module is then
// released). A missing entry point is reported with the message box the ASPI road shows.
int LoadAspi(HMODULE* module) {
    *module = LoadLibraryA(kAspiLibrary);
    if (*module == NULL) return -1;
    GetASPI32SupportInfoFn supportInfo = LookUpGetASPI32SupportInfo(*module);
    if (supportInfo == NULL) {
        MessageBoxA(NULL, "Call wnaspi32.dll fail", "", MB_OK);
        FreeLibrary(*module);
        *module = NULL;
        return -1;
    }
    // The low byte is the number of host adapters; the status byte above it is not used.
    return static_cast<int>(supportInfo() & 0xFF);
}

// INQUIRY to target 0, LUN 0 of one host adapter. The record is zeroed before every
// probe, so that a probe that could not be sent never passes on the previous adapter's
// answer.
void ProbeAdapter(HMODULE module, int adapter, BYTE* record) {
    std::memset(record, 0, kInquiryRecordBuffer);
    InquireASPIDevice(module, static_cast<BYTE>(adapter), 0, 0, record);
}

int ScanPassThrough() {
    int count = 0;
    for (char letter = 'D'; letter <= 'Z' && count < kMaxSMIDisks; ++letter) {
        if (GetDriveTypeA(RootPathOf(letter).text) == DRIVE_REMOTE) continue;
        BYTE record[kInquiryRecordBuffer];
        std::memset(record, 0, sizeof record);
        Inquire(letter, record, &ScanAnswers[letter - 'A']);
        bool lowerCase = false;
        if (!HasSMISignature(record, true, &lowerCase)) continue;
        if (lowerCase) CurrentModelCode = 3;
        SMIDiskTable[count++].driveLetter = letter;
    }
    return count;
}

// Writes the named fields of an ASPI-road record, unless the table is full.
void RecordAspiUnit(int* count, BYTE adapter, HMODULE module, int target, int lun, char letter,
                    BYTE isCdrom) {
    if (*count >= kMaxSMIDisks) return;
    SMIDiskInfo& record = SMIDiskTable[(*count)++];
    record.haId = adapter;
    record.targetId = static_cast<BYTE>(target);
    record.aspiModule = module;
    record.lun = lun;
    record.driveLetter = letter;
    record.isCdrom = isCdrom;
}

// Records the units of one SMI host adapter whose drive letter the registry gives as L.
void RecordAdapter(const HWKEYNode* head, BYTE adapter, HMODULE module, char letter, int* count) {
    for (const HWKEYNode* entry = head->next; entry != NULL; entry = entry->next) {
        if (entry->cdromIndex != 0) {
            if (entry->unitLetter[1] != letter) continue;
            RecordAspiUnit(count, adapter, module, entry->unitTarget[1], entry->unitLun[1], letter,
                           1);
            if (entry->removableIndex != 0)
                RecordAspiUnit(count, adapter, module, entry->unitTarget[2], entry->unitLun[2],
                               entry->unitLetter[2], 0);
            return;
        }
        if (entry->removableIndex != 0)
            RecordAspiUnit(count, adapter, module, entry->unitTarget[2], entry->unitLun[2], letter,
                           0);
    }
    // The closing record of an adapter whose letter no CD-ROM unit carries.
    RecordAspiUnit(count, adapter, module, 0, 0, letter, 0);
}

int ScanAspi() {
    HWKEYNode* head = NewHWKEYNode();
    if (head == NULL) return 0;
    DebugTrace("=== Before Parsing Disk Letter ()===");
    ParseHWKEYList(head);
    DebugTrace("=== After Parsing Disk Letter ()===");

    HMODULE module = NULL;
    int adapters = LoadAspi(&module);
    if (adapters < 0) {
        ReleaseHWKEYList(head);
        return 0;
    }

    int count = 0;
    for (int adapter = 0; adapter < adapters && count < kMaxSMIDisks; ++adapter) {
        BYTE record[kInquiryRecordBuffer];
        ProbeAdapter(module, adapter, record);
        DebugTrace(reinterpret_cast<const char*>(record));
        bool lowerCase = false;
        if (!HasSMISignature(record, false, &lowerCase)) continue;

        DebugTrace("=== Before FindDiskLetter ()===");
        char letter = 0;
        FindDiskLetter(&letter, count);
        DebugTrace("===  After FindDiskLetter ()===");
        RecordAdapter(head, static_cast<BYTE>(adapter), module, letter, &count);
    }

    DebugTrace("=== Before ReleaseHWKEYList ()===");
    ReleaseHWKEYList(head);
    DebugTrace("=== After ReleaseHWKEYList ()===");
    FreeLibrary(module);
    return count;
}

}  // namespace

bool HasSMISignature(const BYTE* record, bool passThroughRoad, bool* lowerCase) {
    *lowerCase = false;
    if (std::memcmp(record, "SMI", 3) == 0) return true;
    if (std::memcmp(record, "smi", 3) == 0) {
        *lowerCase = true;
        return true;
    }
    if (passThroughRoad && std::memcmp(record + 48, "smi", 3) == 0) return true;
    // The vendor and the first 14 product characters, record bytes 3 to 24, with the text
    // ending at byte 25.
    return std::memcmp(record + 3, kBlankVendorModel, sizeof kBlankVendorModel - 1) == 0;
}

int InquireDrive(char letter, BYTE* record) {
    DWORD answer = 0;
    return Inquire(letter, record, &answer);
}

DWORD ScanAnswerOf(char letter) {
    return letter >= 'A' && letter <= 'Z' ? ScanAnswers[letter - 'A'] : 0;
}

int ScanSMIDisks() {
    std::memset(ScanAnswers, 0, sizeof ScanAnswers);
    UseASPI = IsLegacyWindows();
    return UseASPI ? ScanAspi() : ScanPassThrough();
}

int OpenSMIDiskByIndex(int index, SMIDiskInfo* out) {
    UseASPI = IsLegacyWindows();
    // Only the ASPI road hands records out. When the version test now says otherwise (its
    // query failed), a record handed out here would carry a library that CloseSMIDisk,
    // going by UseASPI, never releases.
    if (!UseASPI) return 0;
    HWKEYNode* head = NewHWKEYNode();
    if (head == NULL) return 0;
    int matchingKeys = ParseHWKEYList(head);

    HMODULE module = NULL;
    int adapters = LoadAspi(&module);
    if (adapters < 0) {
        ReleaseHWKEYList(head);
        return 0;
    }

    int result = 0;
    for (int adapter = 0; adapter < adapters; ++adapter) {
        BYTE record[kInquiryRecordBuffer];
        ProbeAdapter(module, adapter, record);
        bool lowerCase = false;
        if (!HasSMISignature(record, false, &lowerCase)) continue;
        if (lowerCase) CurrentModelCode = 3;
        if (index < 0 || index >= matchingKeys || index >= kMaxSMIDisks) continue;
        const SMIDiskInfo& device = SMIDiskTable[index];
        out->haId = device.haId;
        out->lun = device.lun;
        out->driveLetter = device.driveLetter;
        out->targetId = 0;
        // This call's own load: the scan's load, whose handle the table holds, is gone.
        out->aspiModule = module;
        result = 1;
        break;
    }
    ReleaseHWKEYList(head);
    if (result == 0) FreeLibrary(module);  // nothing handed out, so nobody else would
    return result;
}

int CloseSMIDisk(SMIDiskInfo* info) {
    if (UseASPI && info->aspiModule != NoAspiModule() && info->aspiModule != NULL) {
        FreeLibrary(info->aspiModule);
        info->aspiModule = NoAspiModule();
    }
    return 1;
}
