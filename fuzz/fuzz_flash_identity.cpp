// The flash identity record of a controller whose flash information reply, SFR page and
// RAM pages come from the input, completed for the controller's model code; then the SFR
// page and the RAM page the input names read on their own. Input: the record buffer's
// length (16 bits, at most 2560), a RAM page or address (32 bits), then the controller
// (fuzz_support.h), on the pass-through road. Each buffer is exactly as long as the call
// is told, so that a write past it is caught.
#include "fuzz/fuzz_support.h"
#include "sdk/transport/pass_through.h"
#include "sdk/controller/vendor_cmd.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshProcess();
    fuzz::FuzzReader in(data, size);
    int length = in.Word() % (kFlashInfoReplySize + 1);
    DWORD ramPage = in.Dword();
    auto controller = fuzz::ReadController(in);
    int model = controller->profile.modelCode;
    fuzz::PassThroughMachine(controller);

    ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskUnlocked(&request, "\\\\.\\E:");
    std::vector<BYTE> record(static_cast<size_t>(length));
    CSMIVendorCmd::ReadFlashInfo(model, &request, record.data(), length);
    std::vector<BYTE> sfr(static_cast<size_t>(length % (kSfrReplySize + 1)));
    CSMIVendorCmd::ReadControllerSfr(model, &request, sfr.data(), static_cast<int>(sfr.size()));
    std::vector<BYTE> ram(static_cast<size_t>(length % (kRamReplySize + 1)));
    CSMIVendorCmd::ReadControllerRam(model, &request, ramPage, ram.data(),
                                     static_cast<int>(ram.size()));
    CSMISCSICmd::CloseSMIDiskHandle(&request);
    fuzz::CheckNothingOpen();
    return 0;
}
