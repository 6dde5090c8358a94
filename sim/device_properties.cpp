// Registry properties and instance IDs of the device nodes of the simulated machine, read
// by device instance with the configuration manager. A string property is REG_SZ with its
// terminator; a buffer too small for it is left alone and the size it needs is handed back.
// The machine holds the names in UTF-8 and hands them out in UTF-16.
#include "code_pages.h"
#include "machine.h"
#include "sim/fault.h"

#include <cstring>
#include <string>

using sim::machine;

CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyW(DEVINST dnDevInst, ULONG ulProperty,
                                                   PULONG pulRegDataType, PVOID Buffer,
                                                   PULONG pulLength, ULONG) {
    if (sim::FaultHere("CM_Get_DevNode_Registry_PropertyW")) return CR_FAILURE;
    if (pulLength == nullptr) return CR_INVALID_POINTER;
    sim::Machine& m = machine();
    if (m.devices.count(dnDevInst) == 0) return CR_INVALID_DEVNODE;
    const sim::DevNodeProperties& node = m.deviceProperties[dnDevInst];
    const std::optional<std::string>* property = nullptr;
    if (ulProperty == CM_DRP_FRIENDLYNAME) property = &node.friendlyName;
    if (ulProperty == CM_DRP_DEVICEDESC) property = &node.description;
    if (property == nullptr || !property->has_value()) {
        *pulLength = 0;
        return CR_NO_SUCH_VALUE;
    }
    const std::u16string text = sim::FromUtf8(**property);
    // The length is in bytes, the terminator's included.
    ULONG need = static_cast<ULONG>((text.size() + 1) * sizeof(WCHAR));
    if (pulRegDataType) *pulRegDataType = REG_SZ;
    if (Buffer == nullptr || *pulLength < need) {
        *pulLength = need;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(Buffer, text.c_str(), need);
    *pulLength = need;
    return CR_SUCCESS;
}

// A buffer too small for the ID and its terminator gets as much of the ID as fits, without
// a terminator, and CR_BUFFER_SMALL.
CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen, ULONG) {
    if (sim::FaultHere("CM_Get_Device_IDA")) return CR_FAILURE;
    if (Buffer == nullptr) return CR_INVALID_POINTER;
    sim::Machine& m = machine();
    auto it = m.devices.find(dnDevInst);
    if (it == m.devices.end()) return CR_INVALID_DEVNODE;
    const std::string& id = it->second.instanceId;
    size_t fits = id.size() < BufferLen ? id.size() : BufferLen;
    std::memcpy(Buffer, id.data(), fits);
    if (id.size() >= BufferLen) return CR_BUFFER_SMALL;
    Buffer[id.size()] = 0;
    return CR_SUCCESS;
}
