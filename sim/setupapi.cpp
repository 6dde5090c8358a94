// SetupAPI interface enumeration and the configuration manager of the simulated machine.
// Size members are checked as Windows checks them, and a detail read that does not fit
// leaves the caller's buffer alone.
#include "code_pages.h"
#include "fault.h"
#include "machine.h"
#include "process.h"

#include <cstddef>
#include <cstring>
#include <string>

using sim::Fail;
using sim::FaultHere;
using sim::machine;
using sim::ObjectKind;
using sim::OpenObject;

const GUID GUID_DEVINTERFACE_DISK = {
    0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID GUID_DEVINTERFACE_CDROM = {
    0x53f56308, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
const GUID GUID_DEVINTERFACE_FLOPPY = {
    0x53f56311, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

namespace sim {

std::string ClassName(const GUID& g) {
    if (g == GUID_DEVINTERFACE_DISK) return "disk";
    if (g == GUID_DEVINTERFACE_CDROM) return "cdrom";
    if (g == GUID_DEVINTERFACE_FLOPPY) return "floppy";
    return "";
}

bool ClassByName(const std::string& name, GUID* out) {
    for (const GUID* g :
         {&GUID_DEVINTERFACE_DISK, &GUID_DEVINTERFACE_CDROM, &GUID_DEVINTERFACE_FLOPPY}) {
        if (ClassName(*g) == name) {
            *out = *g;
            return true;
        }
    }
    return false;
}

}  // namespace sim

namespace {

// The interface an SP_DEVICE_INTERFACE_DATA names: Reserved holds its position in the set
// plus one, so a zeroed record names nothing.
sim::Interface* MemberOf(OpenObject* set, const SP_DEVICE_INTERFACE_DATA* data) {
    if (set == nullptr || data == nullptr || data->Reserved == 0 ||
        data->Reserved > set->members.size())
        return nullptr;
    return set->members[data->Reserved - 1];
}

}  // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR, HWND, DWORD Flags) {
    if (FaultHere("SetupDiGetClassDevsA"))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, INVALID_HANDLE_VALUE);
    sim::Machine& m = machine();
    if (ClassGuid == nullptr || (Flags & DIGCF_DEVICEINTERFACE) == 0)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (m.failingClassSets.count(sim::ClassName(*ClassGuid)))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, INVALID_HANDLE_VALUE);
    OpenObject set{ObjectKind::DeviceInfoSet, "device information set"};
    for (sim::Interface& i : m.interfaces)
        if (i.interfaceClass == *ClassGuid) set.members.push_back(&i);
    return m.Open(std::move(set));
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA data) {
    if (FaultHere("SetupDiEnumDeviceInterfaces")) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    OpenObject* set = machine().Lookup(DeviceInfoSet, ObjectKind::DeviceInfoSet);
    if (set == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    // Members of other classes are not counted by the index.
    DWORD seen = 0;
    for (size_t k = 0; k < set->members.size(); ++k) {
        if (InterfaceClassGuid && set->members[k]->interfaceClass != *InterfaceClassGuid) continue;
        if (seen++ == MemberIndex) {
            data->InterfaceClassGuid = set->members[k]->interfaceClass;
            data->Flags = SPINT_ACTIVE;
            data->Reserved = k + 1;
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS, FALSE);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detailSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA info) {
    // A failure other than a buffer too small tells the caller no size either.
    if (FaultHere("SetupDiGetDeviceInterfaceDetailA")) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    OpenObject* set = machine().Lookup(DeviceInfoSet, ObjectKind::DeviceInfoSet);
    if (set == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    sim::Interface* iface = MemberOf(set, DeviceInterfaceData);
    if (iface == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (detail != nullptr && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (detail == nullptr && detailSize != 0) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (info != nullptr && info->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER, FALSE);

    DWORD need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                    iface->devicePath.size() + 1);
    if (RequiredSize) *RequiredSize = need;
    if (detailSize < need) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    if (iface->detailError != 0) return Fail(iface->detailError, FALSE);
    std::memcpy(detail->DevicePath, iface->devicePath.c_str(), iface->devicePath.size() + 1);
    if (info != nullptr) {
        info->ClassGuid = iface->interfaceClass;
        info->DevInst = iface->devInst;
    }
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (!machine().Close(DeviceInfoSet, ObjectKind::DeviceInfoSet))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG) {
    if (FaultHere("CM_Get_Parent")) return CR_FAILURE;
    if (pdnDevInst == nullptr) return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    auto& devices = machine().devices;
    auto it = devices.find(dnDevInst);
    if (it == devices.end()) return CR_INVALID_DEVNODE;
    if (it->second.parent == 0) return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = it->second.parent;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Request_Device_EjectW(DEVINST dnDevInst, PPNP_VETO_TYPE pVetoType,
                                          LPWSTR pszVetoName, ULONG ulNameLength, ULONG) {
    sim::Machine& m = machine();
    sim::EjectAnswer answer;
    auto it = m.devices.find(dnDevInst);
    if (FaultHere("CM_Request_Device_EjectW")) {
        // The request failed on its way to the device: no veto is answered.
        answer.result = CR_FAILURE;
    } else if (it == m.devices.end()) {
        answer.result = CR_INVALID_DEVNODE;
    } else {
        std::vector<sim::EjectAnswer>& script = it->second.ejectAnswers;
        size_t asked = 0;
        for (const sim::EjectRequest& r : m.journal.ejectRequests)
            if (r.devInst == dnDevInst) ++asked;
        if (!script.empty()) answer = script[asked < script.size() ? asked : script.size() - 1];
        m.clockMs += answer.latencyMs;
        // A volume the program itself holds open stops the removal whatever the script says.
        sim::ProcessHoldsDevice(dnDevInst, &answer);
    }
    if (answer.result != CR_INVALID_DEVNODE && answer.result != CR_FAILURE) {
        if (pVetoType) *pVetoType = answer.vetoType;
        if (pszVetoName && ulNameLength > 0) {
            size_t n = answer.vetoName.size() < ulNameLength - 1 ? answer.vetoName.size()
                                                                 : ulNameLength - 1;
            std::memcpy(pszVetoName, answer.vetoName.data(), n * sizeof(WCHAR));
            pszVetoName[n] = 0;
        }
    }
    uint64_t seq = m.journal.NoteUtf8(
        "eject " + std::to_string(dnDevInst) + " result " + std::to_string(answer.result) +
        " veto " + std::to_string(answer.vetoType) + " " + sim::ToUtf8(answer.vetoName));
    m.journal.ejectRequests.push_back(
        {seq, dnDevInst, answer.result, answer.vetoType, answer.vetoName});
    return answer.result;
}
