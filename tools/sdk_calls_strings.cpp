#include "sdk/device/device_table.h"
#include "sdk/transport/pass_through.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/controller/device_strings.h"
#include "sdk/controller/info_block.h"
#include "sdk/controller/page_map.h"
#include "sim/scsi_target.h"
#include "tools/scenario.h"
#include "tools/scenario_fields.h"
#include "tools/sdk_calls.h"

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

using nlohmann::json;

namespace scenario {

namespace {

const long long kMaxLength = 1 << 20;

// The record of the call: device table entry "device" (from an earlier scan), or a fresh
// record of "drive" with "model" as its model code. Its volume is opened on the
// pass-through road without the volume lock, as the administrator list's disk lock opens
// it; on the ASPI road (UseASPI) the record keeps no handle.
SMIDiskInfo CallRecord(const json& call) {
    SMIDiskInfo info;
    if (call.contains("device")) {
        info = SMIDiskTable[CallInt(call, "device", 0, 0, kMaxSMIDisks - 1)];
    } else {
        ResetSMIDiskInfo(&info);
        info.driveLetter = CallDrive(call);
    }
    if (call.contains("model")) info.modelCode = CallModel(call);
    info.deviceHandle = INVALID_HANDLE_VALUE;
    return info;
}

// Runs `body` with the record's volume open (pass-through road) and closes it again.
// The disk lock around the call, as the administrator list takes it: the volume opened
// without the volume lock and the controller identified (pass-through road), or the
// Windows 9x volume lock (ASPI road); then the unlock.
SdkCallResult Locked(const json& call,
                     const std::function<void(SMIDiskInfo*, SdkCallResult*)>& body) {
    SMIDiskInfo info = CallRecord(call);
    LockSMIDisk(&info, 0);
    SdkCallResult result;
    body(&info, &result);
    UnLockSMIDisk(&info);
    result.extra["modelCode"] = CurrentModelCode;
    result.extra["descriptorOffset"] = info.descriptorOffset;
    return result;
}

SdkCallResult GetStrings(const json& call) {
    return Locked(call, [](SMIDiskInfo* info, SdkCallResult* result) {
        GuardedBuffer vendor(kDeviceStringSize), product(kDeviceStringSize);
        result->status = GetDeviceStrings(info, vendor.chars(), product.chars());
        result->extra["vendor"] = Utf8(vendor.Text());
        result->extra["product"] = Utf8(product.Text());
        vendor.Check("vendor", result);
        product.Check("product", result);
    });
}

SdkCallResult ReadBlock(const json& call) {
    return Locked(call, [&](SMIDiskInfo* info, SdkCallResult* result) {
        GuardedBuffer block(kInfoBlockReadSize);
        result->status = ReadDiskInfoBlock(info, block.data());
        block.Check("block", result);
        result->bytes = block.Bytes();
        // The strings at the record's offset, or at the one the call names.
        int offset = static_cast<int>(CallInt(call, "offset", info->descriptorOffset, 0, 32));
        GuardedBuffer vendor(kDeviceStringSize), product(kDeviceStringSize);
        ExtractDeviceStrings(result->bytes.data(), kInfoBlockReadSize, offset, vendor.chars(),
                             product.chars(), kDeviceStringSize);
        result->extra["vendor"] = Utf8(vendor.Text());
        result->extra["product"] = Utf8(product.Text());
        vendor.Check("vendor", result);
        product.Check("product", result);
        result->extra["secondCopySignature"] =
            result->bytes[510] == 'D' && result->bytes[511] == 'G';
    });
}

// The pieces on their own, for a model code given by the call.
SdkCallResult OnDrive(const json& call,
                      const std::function<void(int, ScsiRequest*, SdkCallResult*)>& body) {
    char drive = CallDrive(call);
    int model = CallModel(call);
    ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskUnlocked(&request, DrivePath(drive).c_str());
    SdkCallResult result;
    body(model, &request, &result);
    if (request.deviceHandle != INVALID_HANDLE_VALUE) CSMISCSICmd::CloseSMIDiskHandle(&request);
    return result;
}

SdkCallResult ReadBlockCopy(const json& call) {
    int copy = static_cast<int>(CallInt(call, "copy", 0, 0, 1));
    long long length = CallInt(call, "length", kInfoBlockReadSize, 0, kMaxLength);
    BYTE extra = static_cast<BYTE>(CallInt(call, "extraSelector", 0, 0, 255));
    return OnDrive(call, [&](int model, ScsiRequest* r, SdkCallResult* result) {
        GuardedBuffer out(static_cast<size_t>(length));
        result->status = ReadInfoBlock(model, r, copy, out.data(), static_cast<int>(length), extra);
        result->bytes = out.Bytes();
        out.Check("output", result);
    });
}

SdkCallResult ChooseCopy(const json& call) {
    int copy = static_cast<int>(CallInt(call, "copy", 0, -2147483647LL - 1, 2147483647LL));
    return OnDrive(call, [&](int model, ScsiRequest* r, SdkCallResult* result) {
        result->status = ChooseInfoBlockCopy(model, r, copy);
        result->extra["copy"] = copy;
    });
}

SdkCallResult PageMap(const json& call) {
    long long count = CallInt(call, "entries", 16, 0, kPageMapEntries);
    return OnDrive(call, [&](int model, ScsiRequest* r, SdkCallResult* result) {
        GuardedBuffer out(kPageMapEntries * sizeof(WORD));
        BuildPageMap(model, r, reinterpret_cast<WORD*>(out.data()));
        std::vector<WORD> map(kPageMapEntries);
        std::memcpy(map.data(), out.data(), out.size());
        result->extra["entries"] = std::vector<WORD>(map.begin(), map.begin() + count);
        out.Check("page map", result);
    });
}

// The strings of block bytes given in the call: {"block": "12 01 ...", "offset": 32}.
SdkCallResult Extract(const json& call) {
    std::vector<BYTE> block;
    if (!call.contains("block") || !call.at("block").is_string() ||
        !sim::ParseHexBytes(call.at("block").get<std::string>(), &block))
        Bad("calls.block", "expected hex bytes such as \"12 01 00\"");
    int offset = static_cast<int>(CallInt(call, "offset", 0, 0, kMaxLength));
    int size = static_cast<int>(CallInt(call, "outSize", kDeviceStringSize, 0, kDeviceStringSize));
    GuardedBuffer vendor(static_cast<size_t>(size)), product(static_cast<size_t>(size));
    ExtractDeviceStrings(block.data(), static_cast<int>(block.size()), offset, vendor.chars(),
                         product.chars(), size);
    SdkCallResult result;
    result.extra["vendor"] = Utf8(vendor.Text());
    result.extra["product"] = Utf8(product.Text());
    vendor.Check("vendor", &result);
    product.Check("product", &result);
    return result;
}

}  // namespace

std::vector<SdkCall> StringSdkCalls() {
    return {{"GetDeviceStrings", GetStrings}, {"ReadDiskInfoBlock", ReadBlock},
            {"ReadInfoBlock", ReadBlockCopy}, {"ChooseInfoBlockCopy", ChooseCopy},
            {"BuildPageMap", PageMap},        {"ExtractDeviceStrings", Extract}};
}

}  // namespace scenario
