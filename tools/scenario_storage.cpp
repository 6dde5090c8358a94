// A scenario's storage and devices: drives, volumes, storage interfaces, the Plug and Play
// device tree with its ejection answers, and the device classes whose lists fail.
#include "tools/scenario_fields.h"
#include "tools/scenario_sections.h"

#include "sim/builders.h"
#include "sim/code_pages.h"

#include <vector>

using nlohmann::json;

namespace scenario {
namespace {

UINT DriveType(const std::string& name, const std::string& where) {
    return ByName<UINT>(name,
                        {{"unknown", DRIVE_UNKNOWN},
                         {"removable", DRIVE_REMOVABLE},
                         {"fixed", DRIVE_FIXED},
                         {"remote", DRIVE_REMOTE},
                         {"cdrom", DRIVE_CDROM},
                         {"ramdisk", DRIVE_RAMDISK}},
                        where);
}

// A device number, or null for a device that refuses the device-number query.
void DeviceNumber(const json& object, const std::string& where, bool* has, DWORD* number) {
    if (!object.contains("deviceNumber")) return;
    const json& v = object.at("deviceNumber");
    if (v.is_null()) {
        *has = false;
    } else if (v.is_number_unsigned()) {
        *has = true;
        *number = v.get<DWORD>();
    } else {
        Bad(where + ".deviceNumber", "expected a number or null");
    }
}

std::vector<sim::EjectAnswer> EjectAnswers(const json& list, const std::string& where) {
    std::vector<sim::EjectAnswer> answers;
    if (!list.is_array()) Bad(where, "expected a list");
    for (size_t k = 0; k < list.size(); ++k) {
        std::string w = where + "[" + std::to_string(k) + "]";
        OnlyKeys(list[k], w, {"result", "vetoType", "vetoName", "latencyMs"});
        sim::EjectAnswer a;
        a.result = Get<CONFIGRET>(list[k], "result", w, CR_SUCCESS);
        // Only the veto types the Plug and Play manager has: another number is no value of
        // the enumeration at all.
        int vetoType = Get<int>(list[k], "vetoType", w, 0);
        if (vetoType < PNP_VetoTypeUnknown || vetoType > PNP_VetoInsufficientRights)
            Bad(w + ".vetoType", "not a veto type (0 to 12)");
        a.vetoType = static_cast<PNP_VETO_TYPE>(vetoType);
        a.vetoName = sim::FromUtf8(Get<std::string>(list[k], "vetoName", w, ""));
        a.latencyMs = Get<DWORD>(list[k], "latencyMs", w, 0);
        answers.push_back(a);
    }
    return answers;
}

// A device node property: a string, or null for a node that lacks it.
void NodeName(const json& object, const char* key, const std::string& where,
              std::optional<std::string>* out) {
    if (!object.contains(key)) return;
    const json& v = object.at(key);
    if (v.is_null())
        out->reset();
    else if (v.is_string())
        *out = v.get<std::string>();
    else
        Bad(where + "." + key, "expected a string or null");
}

void ApplyVolume(const json& v, const std::string& where, sim::Machine& m) {
    OnlyKeys(v, where,
             {"letter", "type", "dosDevice", "media", "deviceNumber", "deviceType", "partition",
              "openError", "deniedAccess", "passThroughDenied", "fileSystem", "label",
              "lockAnswers", "scsiTarget", "mountFolders"});
    sim::Volume vol;
    if (sim::Volume* existing = m.FindVolume(Letter(v, where))) vol = *existing;
    vol.letter = Letter(v, where);
    if (v.contains("type"))
        vol.driveType = DriveType(v.at("type").get<std::string>(), where + ".type");
    vol.dosDevice = Get<std::string>(v, "dosDevice", where, vol.dosDevice);
    vol.mediaPresent = Get<bool>(v, "media", where, vol.mediaPresent);
    DeviceNumber(v, where, &vol.hasDeviceNumber, &vol.deviceNumber);
    vol.deviceType = Get<DWORD>(v, "deviceType", where, vol.deviceType);
    vol.partitionNumber = Get<DWORD>(v, "partition", where, vol.partitionNumber);
    vol.openError = Get<DWORD>(v, "openError", where, vol.openError);
    vol.deniedAccess = sim::SpecificRights(Get<DWORD>(v, "deniedAccess", where, vol.deniedAccess),
                                           where + ".deniedAccess");
    vol.passThroughDenied = Get<bool>(v, "passThroughDenied", where, vol.passThroughDenied);
    vol.fileSystem = Get<std::string>(v, "fileSystem", where, vol.fileSystem);
    vol.label = Get<std::string>(v, "label", where, vol.label);
    vol.lockAnswers = Get<std::vector<bool>>(v, "lockAnswers", where, vol.lockAnswers);
    if (v.contains("scsiTarget")) vol.target = Target(v.at("scsiTarget"), where + ".scsiTarget");
    vol.mountFolders = Get<std::vector<std::string>>(v, "mountFolders", where, vol.mountFolders);
    for (const std::string& folder : vol.mountFolders)
        if (folder.empty() || folder.back() != '\\')
            Bad(where + ".mountFolders", "a folder ends with its backslash");
    m.AddVolume(vol);
}

void ApplyInterface(const json& i, const std::string& where, sim::Machine& m) {
    OnlyKeys(
        i, where,
        {"class", "path", "devInst", "deviceNumber", "deviceType", "openError", "detailError"});
    sim::Interface iface;
    if (!sim::ClassByName(Get<std::string>(i, "class", where, ""), &iface.interfaceClass))
        Bad(where + ".class", "expected disk, cdrom or floppy");
    iface.devicePath = Get<std::string>(i, "path", where, "");
    if (iface.devicePath.empty()) Bad(where + ".path", "missing");
    iface.devInst = Get<DEVINST>(i, "devInst", where, 0);
    DeviceNumber(i, where, &iface.hasDeviceNumber, &iface.deviceNumber);
    iface.deviceType = Get<DWORD>(i, "deviceType", where, iface.deviceType);
    iface.openError = Get<DWORD>(i, "openError", where, 0);
    iface.detailError = Get<DWORD>(i, "detailError", where, 0);
    m.AddInterface(iface);
}

void ApplyDevice(const json& d, const std::string& where, sim::Machine& m) {
    OnlyKeys(d, where,
             {"devInst", "parent", "instanceId", "ejectAnswers", "friendlyName", "description"});
    DEVINST inst = Get<DEVINST>(d, "devInst", where, 0);
    if (inst == 0) Bad(where + ".devInst", "expected a nonzero device instance");
    sim::DevNode& node = m.devices[inst];
    node.parent = Get<DEVINST>(d, "parent", where, node.parent);
    node.instanceId = Get<std::string>(d, "instanceId", where, node.instanceId);
    if (d.contains("ejectAnswers"))
        node.ejectAnswers = EjectAnswers(d.at("ejectAnswers"), where + ".ejectAnswers");
    NodeName(d, "friendlyName", where, &m.deviceProperties[inst].friendlyName);
    NodeName(d, "description", where, &m.deviceProperties[inst].description);
}

void ApplyUsbFlashDrive(const json& u, const std::string& where, sim::Machine& m) {
    OnlyKeys(u, where,
             {"letter", "diskNumber", "product", "media", "label", "ejectAnswers", "friendlyName",
              "description"});
    sim::UsbDriveIds ids =
        sim::AddUsbFlashDrive(m, Letter(u, where), Get<DWORD>(u, "diskNumber", where, 1),
                              Get<std::string>(u, "product", where, "ven_generic&prod_flash_disk"));
    sim::Volume* volume = m.FindVolume(Letter(u, where));
    volume->mediaPresent = Get<bool>(u, "media", where, true);
    volume->label = Get<std::string>(u, "label", where, "");
    if (u.contains("ejectAnswers"))
        m.devices[ids.usb].ejectAnswers =
            EjectAnswers(u.at("ejectAnswers"), where + ".ejectAnswers");
    NodeName(u, "friendlyName", where, &m.deviceProperties[ids.disk].friendlyName);
    NodeName(u, "description", where, &m.deviceProperties[ids.disk].description);
}

}  // namespace

void ApplyStorage(const json& s, sim::Machine& m) {
    Each(s, "fixedDisks", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"letter", "diskNumber"});
        sim::AddFixedDisk(m, Letter(d, w), Get<DWORD>(d, "diskNumber", w, 0));
    });
    Each(s, "opticalDrives", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"letter", "cdromNumber", "disc"});
        sim::AddOpticalDrive(m, Letter(d, w), Get<DWORD>(d, "cdromNumber", w, 0),
                             Get<bool>(d, "disc", w, false));
    });
    Each(s, "usbFlashDrives",
         [&](const json& d, const std::string& w) { ApplyUsbFlashDrive(d, w, m); });
    Each(s, "volumes", [&](const json& d, const std::string& w) { ApplyVolume(d, w, m); });
    Each(s, "substs", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"letter", "folder"});
        std::string folder = Get<std::string>(d, "folder", w, "");
        if (folder.size() < 3 || folder[1] != ':' || folder[2] != '\\')
            Bad(w + ".folder", "expected a folder on a drive, \"E:\\Tools\"");
        m.substs[Letter(d, w)] = folder;
    });
    Each(s, "interfaces", [&](const json& d, const std::string& w) { ApplyInterface(d, w, m); });
    Each(s, "devices", [&](const json& d, const std::string& w) { ApplyDevice(d, w, m); });
    if (s.contains("failingClassSets")) {
        for (const json& name : s.at("failingClassSets")) {
            GUID g;
            if (!name.is_string() || !sim::ClassByName(name.get<std::string>(), &g))
                Bad("failingClassSets", "expected disk, cdrom or floppy");
            m.failingClassSets.insert(name.get<std::string>());
        }
    }
}

}  // namespace scenario
