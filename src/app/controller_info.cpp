#include "app/controller_info.h"

#include "app/console.h"
#include "platform/win32.h"
#include "sdk/device/device_table.h"
#include "sdk/discovery/sysinfo.h"
#include "sdk/scan/controller_scan.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/transport/pass_through.h"
#include "sdk/controller/device_strings.h"
#include "sdk/controller/flash_identity.h"
#include "sdk/controller/model_table.h"
#include "sdk/controller/vendor_cmd.h"

#include <cstring>

const char* const NotAnAdministrator = "not an administrator";
const char* const NotElevated = "not elevated";
const char* const NotASupportedDrive = "not a supported drive";

namespace {

const int kFlashInfoTimeoutSeconds = 5;

int Refuse(char letter, const char* reason) {
    ConsoleError("Drive %c cannot be opened for controller commands: %s.\n", letter, reason);
    return 1;
}

// Why a drive cannot take controller commands, from what Windows answered the scan for it:
// a volume open or a SCSI pass-through request refused with access denied means the
// console is not elevated; anything else means the drive is not a controller device this
// SDK supports.
const char* WhyNotOpen(char letter) {
    return ScanAnswerOf(letter) == ERROR_ACCESS_DENIED ? NotElevated : NotASupportedDrive;
}

// The index of the drive's record in the device table the last scan left; -1 when absent.
// On the ASPI road a device's CD-ROM unit also carries a letter; the disk unit is taken.
int RecordOf(char letter, int count) {
    for (int j = 0; j < count && j < kMaxSMIDisks; ++j)
        if (SMIDiskTable[j].driveLetter == letter && SMIDiskTable[j].isCdrom == 0) return j;
    return -1;
}

// Strings that came from the device are shown only up to their terminator and with
// control characters replaced, so that each stays on its line.
void ShowLine(const char* label, const char* text, size_t size) {
    char shown[kDeviceStringSize];
    size_t n = 0;
    for (; n < size && n + 1 < sizeof shown && text[n] != 0; ++n) {
        unsigned char c = static_cast<unsigned char>(text[n]);
        shown[n] = (c < 0x20 || c == 0x7F) ? '?' : text[n];
    }
    shown[n] = 0;
    ConsolePrint("%s: %s\n", label, shown);
}

}  // namespace

int ShowControllerInfo(char letter) {
    if (IsNonAdminUser()) return Refuse(letter, NotAnAdministrator);

    int count = ScanSMIDisks();
    int index = RecordOf(letter, count);
    if (index < 0) return Refuse(letter, WhyNotOpen(letter));

    SMIDiskInfo record;
    ResetSMIDiskInfo(&record);
    if (UseASPI) {
        if (!OpenSMIDiskByIndex(index, &record)) return Refuse(letter, NotASupportedDrive);
    } else {
        record.driveLetter = letter;
    }

    if (!LockSMIDisk(&record, 0)) {
        UnLockSMIDisk(&record);
        if (UseASPI) CloseSMIDisk(&record);
        return Refuse(letter, WhyNotOpen(letter));
    }

    char vendor[kDeviceStringSize];
    char product[kDeviceStringSize];
    std::memset(vendor, 0, sizeof vendor);
    std::memset(product, 0, sizeof product);
    GetDeviceStrings(&record, vendor, product);
    int modelCode = CurrentModelCode;

    // The flash identity record goes through the pass-through only.
    bool makerKnown = false;
    BYTE maker = 0;
    if (!UseASPI && record.deviceHandle != INVALID_HANDLE_VALUE) {
        BYTE identity[kFlashRecordSize];
        std::memset(identity, 0, sizeof identity);
        ScsiRequest request = MakeScsiRequest(record.deviceHandle, kFlashInfoTimeoutSeconds);
        if (CSMIVendorCmd::ReadFlashInfo(modelCode, &request, identity, sizeof identity) == 0) {
            maker = identity[kRecordFlashMaker];
            makerKnown = true;
        }
    }

    UnLockSMIDisk(&record);
    if (UseASPI) CloseSMIDisk(&record);

    const char* model = FindModelFullName(modelCode);
    ConsolePrint("Model: %s\n", model != NULL ? model : "unknown");
    ConsolePrint("Model code: %d\n", modelCode);
    ShowLine("Manufacturer", vendor, sizeof vendor);
    ShowLine("Product", product, sizeof product);
    if (makerKnown)
        ConsolePrint("Flash maker code: 0x%02X\n", maker);
    else
        ConsolePrint("Flash maker code: unknown\n");
    return 0;
}
