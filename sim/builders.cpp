#include "builders.h"

#include <cctype>
#include <cstdio>

namespace sim {

std::string InterfacePath(const std::string& enumeratorAndIds, const GUID& cls) {
    char guid[48];
    std::snprintf(guid, sizeof guid, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  cls.Data1, cls.Data2, cls.Data3, cls.Data4[0], cls.Data4[1], cls.Data4[2],
                  cls.Data4[3], cls.Data4[4], cls.Data4[5], cls.Data4[6], cls.Data4[7]);
    // SetupAPI hands interface paths out in lower case, the device's serial number too.
    std::string path = "\\\\?\\" + enumeratorAndIds + "#" + guid;
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path;
}

namespace {

DEVINST NextDevInst(const Machine& m) {
    return m.devices.empty() ? 0x1000 : m.devices.rbegin()->first + 1;
}

}  // namespace

UsbDriveIds AddUsbFlashDrive(Machine& m, char letter, DWORD diskNumber,
                             const std::string& product) {
    UsbDriveIds ids;
    ids.usb = NextDevInst(m);
    ids.disk = ids.usb + 1;
    char serial[32];
    std::snprintf(serial, sizeof serial, "%08lu%c", static_cast<unsigned long>(diskNumber), letter);
    m.devices[ids.usb] = DevNode{0, std::string("USB\\VID_1234&PID_5678\\") + serial, {}};
    m.devices[ids.disk] = DevNode{ids.usb, "USBSTOR\\DISK&" + product + "\\" + serial, {}};
    m.deviceProperties[ids.usb] = {std::nullopt, "USB Mass Storage Device"};
    m.deviceProperties[ids.disk] = {"Generic Flash Disk USB Device", "Disk drive"};

    Volume v;
    v.letter = letter;
    v.driveType = DRIVE_REMOVABLE;
    v.dosDevice = "\\Device\\HarddiskVolume" + std::to_string(10 + diskNumber);
    v.deviceNumber = diskNumber;
    m.AddVolume(v);

    Interface i;
    i.interfaceClass = GUID_DEVINTERFACE_DISK;
    i.devicePath = InterfacePath("usbstor#disk&" + product + "&rev_1100#" + serial + "&0",
                                 GUID_DEVINTERFACE_DISK);
    i.devInst = ids.disk;
    i.deviceNumber = diskNumber;
    m.AddInterface(i);
    return ids;
}

void AddFixedDisk(Machine& m, char letter, DWORD diskNumber) {
    DEVINST inst = NextDevInst(m);
    m.devices[inst] = DevNode{0, "IDE\\DISKINTERNAL_SSD\\0", {}};
    m.deviceProperties[inst] = {"Internal SSD", "Disk drive"};
    Volume v;
    v.letter = letter;
    v.driveType = DRIVE_FIXED;
    v.dosDevice = "\\Device\\HarddiskVolume" + std::to_string(2 + diskNumber);
    v.deviceNumber = diskNumber;
    m.AddVolume(v);
    Interface i;
    i.interfaceClass = GUID_DEVINTERFACE_DISK;
    i.devicePath = InterfacePath("ide#diskinternal_ssd#5&1a2b3c&0&0.0.0", GUID_DEVINTERFACE_DISK);
    i.devInst = inst;
    i.deviceNumber = diskNumber;
    m.AddInterface(i);
}

void AddOpticalDrive(Machine& m, char letter, DWORD cdromNumber, bool discPresent) {
    DEVINST inst = NextDevInst(m);
    m.devices[inst] = DevNode{0, "IDE\\CDROMOPTICAL_DRIVE\\0", {}};
    m.deviceProperties[inst] = {"Optical Drive", "CD-ROM Drive"};
    Volume v;
    v.letter = letter;
    v.driveType = DRIVE_CDROM;
    v.dosDevice = "\\Device\\CdRom" + std::to_string(cdromNumber);
    v.deviceType = FILE_DEVICE_CD_ROM;
    v.deviceNumber = cdromNumber;
    v.partitionNumber = 0;
    v.mediaPresent = discPresent;
    m.AddVolume(v);
    Interface i;
    i.interfaceClass = GUID_DEVINTERFACE_CDROM;
    i.devicePath =
        InterfacePath("ide#cdromoptical_drive#5&2b3c4d&0&1.0.0", GUID_DEVINTERFACE_CDROM);
    i.devInst = inst;
    i.deviceType = FILE_DEVICE_CD_ROM;
    i.deviceNumber = cdromNumber;
    m.AddInterface(i);
}

Volume& AddPlainVolume(Machine& m, char letter, UINT driveType, bool hasNumber, DWORD number,
                       const std::string& dosDevice) {
    Volume v;
    v.letter = letter;
    v.driveType = driveType;
    v.hasDeviceNumber = hasNumber;
    v.deviceNumber = number;
    v.dosDevice = dosDevice;
    return m.AddVolume(v);
}

void AddLegacyUnit(Machine& m, const std::string& node, const std::string& hardwareKey,
                   const std::string& unitClass, char letter, int lun, int target) {
    m.registry.SetString(HKEY_DYN_DATA, "Config Manager\\Enum\\" + node, "HardWareKey",
                         hardwareKey);
    std::string unit = "Enum\\" + hardwareKey;
    m.registry.SetString(HKEY_LOCAL_MACHINE, unit, "Class", unitClass);
    m.registry.SetString(HKEY_LOCAL_MACHINE, unit, "CurrentDriveLetterAssignment",
                         std::string(1, letter));
    m.registry.SetString(HKEY_LOCAL_MACHINE, unit, "SCSILUN", std::to_string(lun));
    m.registry.SetString(HKEY_LOCAL_MACHINE, unit, "SCSITargetID", std::to_string(target));
}

void BuildDefaultMachine(Machine& m) {
    AddFixedDisk(m, 'C', 0);
    AddOpticalDrive(m, 'D', 0, false);
    AddUsbFlashDrive(m, 'E', 1);
}

}  // namespace sim
