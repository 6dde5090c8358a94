#include "sdk/transport/pass_through.h"
#include "sdk/controller/vendor_cmd.h"
#include "tools/sdk_calls.h"

#include <functional>

using nlohmann::json;

namespace scenario {

namespace {

// The largest buffer a call may ask for.
const long long kMaxLength = 1 << 20;

// Opens the drive on the pass-through road as the SDK's own callers do, runs `read` with
// the request and a zeroed, guarded buffer of the call's "length" bytes, and closes the
// drive. A drive that does not open leaves the request without a handle, and the read fails.
SdkCallResult WithDrive(const json& call, long long defaultLength,
                        const std::function<int(int, ScsiRequest*, BYTE*, int)>& read) {
    char drive = CallDrive(call);
    int model = CallModel(call);
    long long length = CallInt(call, "length", defaultLength, 0, kMaxLength);
    ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskUnlocked(&request, DrivePath(drive).c_str());
    SdkCallResult result;
    GuardedBuffer out(static_cast<size_t>(length));
    result.status = read(model, &request, out.data(), static_cast<int>(length));
    if (request.deviceHandle != INVALID_HANDLE_VALUE) CSMISCSICmd::CloseSMIDiskHandle(&request);
    result.bytes = out.Bytes();
    out.Check("output", &result);
    return result;
}

BYTE Control(const json& call, const char* key) {
    return static_cast<BYTE>(CallInt(call, key, 0, 0, 255));
}

SdkCallResult ReadRam(const json& call) {
    DWORD page = static_cast<DWORD>(CallInt(call, "page", 0, 0, 0xFFFFFFFFLL));
    return WithDrive(call, kRamReplySize, [&](int model, ScsiRequest* r, BYTE* out, int length) {
        return CSMIVendorCmd::ReadControllerRam(model, r, page, out, length);
    });
}

SdkCallResult ReadSfr(const json& call) {
    return WithDrive(call, kSfrReplySize, [](int model, ScsiRequest* r, BYTE* out, int length) {
        return CSMIVendorCmd::ReadControllerSfr(model, r, out, length);
    });
}

SdkCallResult ReadFlashInfo(const json& call) {
    return WithDrive(call, 512, [](int model, ScsiRequest* r, BYTE* out, int length) {
        return CSMIVendorCmd::ReadFlashInfo(model, r, out, length);
    });
}

SdkCallResult ReadFlashPages(const json& call) {
    unsigned block = static_cast<unsigned>(CallInt(call, "block", 0, 0, 0xFFFF));
    unsigned page = static_cast<unsigned>(CallInt(call, "page", 0, 0, 0xFFFF));
    BYTE c10 = Control(call, "control10"), c7 = Control(call, "control7");
    BYTE c9 = Control(call, "control9"), c6 = Control(call, "control6");
    return WithDrive(call, 512, [&](int model, ScsiRequest* r, BYTE* out, int length) {
        return CSMIVendorCmd::ReadFlashPages(model, r, block, page, out, length, c10, c7, c9, c6);
    });
}

}  // namespace

std::vector<SdkCall> VendorSdkCalls() {
    return {{"ReadControllerRam", ReadRam},
            {"ReadControllerSfr", ReadSfr},
            {"ReadFlashInfo", ReadFlashInfo},
            {"ReadFlashPages", ReadFlashPages}};
}

}  // namespace scenario
