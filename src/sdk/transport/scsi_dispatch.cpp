#include "sdk/transport/scsi_dispatch.h"

#include "sdk/trace/debug_trace.h"
#include "sdk/transport/aspi_transport.h"
#include "sdk/transport/pass_through.h"

int ScsiRequestKind = 0;

void ResetScsiRequestKind() { ScsiRequestKind = 0; }

namespace {

const int kReadTimeoutSeconds = 5;
const int kWriteTimeoutSeconds = 300;

ScsiRequest DispatchRequest(HANDLE deviceHandle, int timeoutSeconds) {
    ScsiRequest request = MakeScsiRequest(deviceHandle, timeoutSeconds);
    request.kind = ScsiRequestKind;
    return request;
}

// A command goes out only with its block and with a buffer for every byte it transfers. A
// negative length would reach either transport as a transfer of about 4 GB: over ASPI it
// sizes a heap copy of the caller's buffer, over the pass-through the driver's transfer.
bool IsSendable(const BYTE* cdb, const BYTE* buffer, int length) {
    return cdb != NULL && length >= 0 && (buffer != NULL || length == 0);
}

}  // namespace

int SCSICommandRead(HANDLE deviceHandle, HMODULE aspiModule, const BYTE* cdb, BYTE* buffer,
                    int length, int lun) {
    if (!IsSendable(cdb, buffer, length)) return 0;
    if (UseASPI)
        return ASPIExecSCSICommand(aspiModule, kAspiDataIn, lun, cdb, buffer,
                                   static_cast<DWORD>(length));
    ScsiRequest request = DispatchRequest(deviceHandle, kReadTimeoutSeconds);
    return CSMISCSICmd::SCSIPassThroughRead(&request, buffer, static_cast<DWORD>(length), cdb);
}

int SCSICommandWrite(HANDLE deviceHandle, HMODULE aspiModule, const BYTE* cdb, BYTE* buffer,
                     int length) {
    if (!IsSendable(cdb, buffer, length)) return 0;
    if (UseASPI)
        return ASPIExecSCSICommand(aspiModule, kAspiDataOut, 0, cdb, buffer,
                                   static_cast<DWORD>(length));
    ScsiRequest request = DispatchRequest(deviceHandle, kWriteTimeoutSeconds);
    return CSMISCSICmd::SCSIPassThroughWrite(&request, buffer, static_cast<DWORD>(length), cdb);
}

int SCSICommandProcess(SMIDiskInfo* device, int mode, const BYTE* cdb, BYTE* buffer, int length) {
    // Input the direction routines would refuse is no transport failure: nothing is traced.
    if (device == NULL || !IsSendable(cdb, buffer, length)) return 0;
    if (mode == kScsiRead) {
        int result = SCSICommandRead(device->deviceHandle, device->aspiModule, cdb, buffer, length,
                                     UseASPI ? device->lun : 0);
        if (result == 0) DebugTrace("Read Fail!!");
        return result;
    }
    if (mode == kScsiWrite) {
        int result =
            SCSICommandWrite(device->deviceHandle, device->aspiModule, cdb, buffer, length);
        if (result == 0) DebugTrace("Write Fail!!");
        return result;
    }
    return 0;
}
