// Short ways to describe common machines: a USB flash drive with its volume, disk
// interface and device nodes, an internal disk, an optical drive.
#pragma once

#include "machine.h"

#include <string>

namespace sim {

struct UsbDriveIds {
    DEVINST disk;  // the disk device behind the interface
    DEVINST usb;   // its parent, the USB device that is ejected
};

// A USB flash drive on the USB mass-storage enumerator: volume `letter` on disk number
// `diskNumber`, with a disk interface whose path begins with "\\?\usbstor#disk&".
// `product` becomes part of the interface path, e.g. "ven_smi&prod_usb_disk".
UsbDriveIds AddUsbFlashDrive(Machine& m, char letter, DWORD diskNumber,
                             const std::string& product = "ven_generic&prod_flash_disk");

// An internal fixed disk on an IDE/SATA controller: its interface path matches no filter.
void AddFixedDisk(Machine& m, char letter, DWORD diskNumber);

// An optical drive with a CD-ROM interface on the IDE enumerator.
void AddOpticalDrive(Machine& m, char letter, DWORD cdromNumber, bool discPresent);

// The path of a disk or CD-ROM interface as SetupAPI spells it.
std::string InterfacePath(const std::string& enumeratorAndIds, const GUID& cls);

// A volume with no storage interface: a network share, a RAM disk, a floppy drive, ...
// `hasNumber` false: it refuses the device-number query.
Volume& AddPlainVolume(Machine& m, char letter, UINT driveType, bool hasNumber = false,
                       DWORD number = 0, const std::string& dosDevice = "");

// One unit of a device on Windows 95, 98 or ME: the live device node `node` under
// HKEY_DYN_DATA "Config Manager\Enum" naming `hardwareKey`, and the unit's record under
// HKEY_LOCAL_MACHINE "Enum\<hardwareKey>" with its class, drive letter, LUN and target id.
void AddLegacyUnit(Machine& m, const std::string& node, const std::string& hardwareKey,
                   const std::string& unitClass, char letter, int lun, int target);

// The default machine of korvanta-sim: fixed disk C:, an optical drive D: without a disc
// and one USB flash drive E:.
void BuildDefaultMachine(Machine& m);

}  // namespace sim
