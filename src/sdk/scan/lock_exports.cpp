#include "sdk/scan/lock_exports.h"

#include "sdk/scan/disk_lock.h"
#include "sdk/scan/export_imports.h"
#include "sdk/system/drive_paths.h"
#include "sdk/scan/vwin32_lock.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/pass_through.h"

namespace {

enum { kExportTimeoutSeconds = 5 };

}  // namespace

extern "C" {

// Each export binds the executable's imports before anything else: a program that loads
// it gets it mapped and relocated, not bound. Without them, nothing is called or opened.

void WINAPI LockDisk(int useVwin32, HANDLE* handle, HANDLE* vwin32Out) {
    if (!BindOwnImports()) {
        if (handle != NULL && useVwin32 == 0) *handle = INVALID_HANDLE_VALUE;
        return;
    }
    DebugTraceError("LockSMIDisk In\r\n", 0);
    // The caller's pointers are not trusted: a null one is neither read nor written.
    ScsiRequest request =
        MakeScsiRequest(handle != NULL ? *handle : INVALID_HANDLE_VALUE, kExportTimeoutSeconds);
    if (useVwin32 != 0) {
        // Without `vwin32Out` the lock is still held in Vwin32Handle for UnLockDisk.
        LockVolumeVwin32(vwin32Out, ExportDriveLetter);
        return;
    }
    // With nowhere to hand the volume back, nothing is opened.
    if (handle == NULL) return;
    DrivePath path = VolumePathOf(ExportDriveLetter);
    CSMISCSICmd::OpenSMIDiskLocked(&request, path.text);
    *handle = request.deviceHandle;
}

void WINAPI UnLockDisk(int useVwin32, HANDLE handle, HANDLE*) {
    if (!BindOwnImports()) return;
    DebugTraceError("UnLockSMIDisk In\r\n", 0);
    if (useVwin32 != 0) {
        if (Vwin32Handle != INVALID_HANDLE_VALUE) {
            UnlockLogicalVolume(Vwin32Handle, Vwin32DriveNumber(ExportDriveLetter));
            CloseHandle(Vwin32Handle);
            Vwin32Handle = INVALID_HANDLE_VALUE;
        }
        return;
    }
    if (handle != INVALID_HANDLE_VALUE) {
        ScsiRequest request = MakeScsiRequest(handle, kExportTimeoutSeconds);
        CSMISCSICmd::CloseSMIDiskHandle(&request);
    }
}

BOOL WINAPI SetExportDriveLetter(int letter) {
    if (!BindOwnImports()) return FALSE;
    if (letter >= 'a' && letter <= 'z') letter -= 'a' - 'A';
    if (letter < 'A' || letter > 'Z') return FALSE;
    ExportDriveLetter = static_cast<char>(letter);
    return TRUE;
}

}  // extern "C"
