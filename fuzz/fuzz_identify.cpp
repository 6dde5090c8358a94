// Controller identification on a controller whose identification pages, memory replies and
// INQUIRY data come from the input. The first byte chooses the road: the pass-through
// (Windows 10, drive E:) or ASPI (Windows 98, host adapter 0). The rest describes the
// controller (fuzz_support.h).
#include "fuzz/fuzz_support.h"
#include "sdk/device/device_table.h"
#include "sdk/transport/pass_through.h"
#include "sdk/controller/controller_identify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshProcess();
    fuzz::FuzzReader in(data, size);
    bool aspi = (in.Byte() & 1) != 0;
    auto controller = fuzz::ReadController(in);
    SMIDiskInfo info;
    ResetSMIDiskInfo(&info);
    info.driveLetter = fuzz::kControllerLetter;
    if (aspi) {
        fuzz::AspiMachine(controller);
        info.aspiModule = LoadLibraryA("wnaspi32.dll");
        UseASPI = 1;
        IdentifyController(&info);
        FreeLibrary(info.aspiModule);
    } else {
        fuzz::PassThroughMachine(controller);
        ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        CSMISCSICmd::OpenSMIDiskUnlocked(&request, "\\\\.\\E:");
        info.deviceHandle = request.deviceHandle;
        IdentifyController(&info);
        CSMISCSICmd::CloseSMIDiskHandle(&request);
    }
    fuzz::CheckNothingOpen();
    return 0;
}
