#include "tools/process_state.h"

#include "app/console.h"
#include "app/startup.h"
#include "sdk/device/device_table.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/scsi_dispatch.h"
#include "sim/fault.h"
#include "sim/machine.h"

namespace scenario {

void ResetProcessState() {
    sim::Reset();
    sim::ResetFaults();  // a plan is made after the process is fresh
    ResetDebugSwitch();
    ResetDiskLockSettings();
    ResetScsiRequestKind();
    ResetConsoleApplication();
    ResetConsoleOutput();
    ResetDeviceState();
    ResetDiskLockState();
}

}  // namespace scenario
