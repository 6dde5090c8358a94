#include "sdk/device/device_table.h"
#include "sdk/transport/pass_through.h"
#include "sdk/controller/controller_identify.h"
#include "tools/sdk_calls.h"

#include <stdexcept>

using nlohmann::json;

namespace scenario {

namespace {

// The record fields identification sets, and the model code it leaves.
json Fields(const SMIDiskInfo& info) {
    return {{"currentModelCode", CurrentModelCode},
            {"modelCode", info.modelCode},
            {"descriptorOffset", info.descriptorOffset},
            {"secondOffset", info.secondOffset},
            {"ctrlFlag", info.ctrlFlag}};
}

// {"drive": "E"}: the pass-through road on the drive's volume, opened without the volume
// lock for the call. {"aspi": true}: the ASPI road on the device the ASPI transport
// addresses, the device table's first record, with the ASPI library loaded for the call.
SdkCallResult Identify(const json& call) {
    SdkCallResult result;
    SMIDiskInfo info;
    ResetSMIDiskInfo(&info);
    bool aspi = call.value("aspi", false);
    if (aspi) {
        if (call.contains("drive")) throw std::runtime_error("calls: drive or aspi, not both");
        info.haId = SMIDiskTable[0].haId;
        info.targetId = SMIDiskTable[0].targetId;
        info.lun = SMIDiskTable[0].lun;
        info.aspiModule = LoadLibraryA("wnaspi32.dll");
        if (info.aspiModule == NULL) info.aspiModule = NoAspiModule();
        UseASPI = 1;
        result.status = IdentifyController(&info);
        if (info.aspiModule != NoAspiModule()) FreeLibrary(info.aspiModule);
    } else {
        char drive = CallDrive(call);
        info.driveLetter = drive;
        ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        CSMISCSICmd::OpenSMIDiskUnlocked(&request, DrivePath(drive).c_str());
        info.deviceHandle = request.deviceHandle;
        UseASPI = 0;
        result.status = IdentifyController(&info);
        if (request.deviceHandle != INVALID_HANDLE_VALUE) CSMISCSICmd::CloseSMIDiskHandle(&request);
    }
    result.extra = Fields(info);
    return result;
}

}  // namespace

// The scenario calls of controller identification.
std::vector<SdkCall> IdentifySdkCalls() { return {{"IdentifyController", Identify}}; }

}  // namespace scenario
