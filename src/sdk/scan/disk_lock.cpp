#include "sdk/scan/disk_lock.h"

#include "sdk/scan/vwin32_lock.h"
#include "sdk/system/drive_paths.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/pass_through.h"
#include "sdk/controller/controller_identify.h"

int KeepDiskOpen = 0;

void ResetDiskLockSettings() { KeepDiskOpen = 0; }

namespace {

// Time-out of the requests the lock hands to the transport.
enum { kLockTimeoutSeconds = 5 };

}  // namespace

int LockSMIDisk(SMIDiskInfo* info, int lockVolume) {
    DebugTraceError("LockSMIDisk In\r\n", 0);
    info->ctrlFlag = 0;
    int result = 0;
    if (UseASPI != 0) {
        result = LockVolumeVwin32(&info->vxdHandle, info->driveLetter);
    } else {
        // Built without formatting: the exported lock pair reaches this in a process where
        // this program's C runtime never started.
        DrivePath path = VolumePathOf(info->driveLetter);
        ScsiRequest request = MakeScsiRequest(info->deviceHandle, kLockTimeoutSeconds);
        result = lockVolume != 0 ? CSMISCSICmd::OpenSMIDiskLocked(&request, path.text)
                                 : CSMISCSICmd::OpenSMIDiskUnlocked(&request, path.text);
        info->deviceHandle = request.deviceHandle;
        // A volume that would not open leaves identification to fail on its own.
        IdentifyController(info);
    }
    DebugTraceError("LockSMIDisk Exit\r\n", 0);
    return result;
}

int UnLockSMIDisk(SMIDiskInfo* info) {
    DebugTraceError("UnLockSMIDisk In\r\n", 0);
    int result = 0;
    if (UseASPI != 0) {
        if (info->vxdHandle != INVALID_HANDLE_VALUE) {
            HANDLE vwin32 = info->vxdHandle;
            result = UnlockLogicalVolume(vwin32, Vwin32DriveNumber(info->driveLetter));
            CloseHandle(vwin32);
            // The handle lives in the record and in Vwin32Handle: neither may name it now.
            info->vxdHandle = INVALID_HANDLE_VALUE;
            if (Vwin32Handle == vwin32) Vwin32Handle = INVALID_HANDLE_VALUE;
        }
    } else {
        ScsiRequest request = MakeScsiRequest(info->deviceHandle, kLockTimeoutSeconds);
        result = CSMISCSICmd::CloseSMIDiskHandle(&request);
        info->deviceHandle = INVALID_HANDLE_VALUE;
    }
    DebugTraceError("UnLockSMIDisk Exit\r\n", 0);
    return result;
}

HANDLE Vwin32Handle = INVALID_HANDLE_VALUE;
char ExportDriveLetter = 0;

void ResetDiskLockState() {
    Vwin32Handle = INVALID_HANDLE_VALUE;
    ExportDriveLetter = 0;
}
