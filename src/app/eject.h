// Ejection of the USB device that carries a drive letter, through the Plug and Play
// manager.
#pragma once

#include "platform/win32.h"

// The texts an ejection hands back live in the caller's buffers of these sizes. A veto name
// is at most MAX_PATH UTF-16 units; in a double-byte code page each can take two bytes.
const size_t kEjectTextBytes = 2 * MAX_PATH;
const size_t kDeviceInstanceIdBytes = MAX_DEVICE_ID_LEN + 1;

// Ejects the device behind `letter`. Sets `errorText` on every path: a fixed reason when a
// stage fails, else the veto name of the last ejection request (normally empty on success).
// Returns nonzero when the device was ejected.
BOOL EjectDrive(char letter, char (&errorText)[kEjectTextBytes]);

// As above, and sets `deviceInstanceId` to the device instance ID of the USB device it asked
// to eject (the disk's parent): empty when it asked none or the ID cannot be read.
BOOL EjectDrive(char letter, char (&errorText)[kEjectTextBytes],
                char (&deviceInstanceId)[kDeviceInstanceIdBytes]);

// The stages of an ejection, for a caller that ejects a device once for several letters or
// asks again after a veto.

// The USB device behind `letter` (the parent of its disk, CD-ROM or floppy device node), the
// device an ejection asks to remove, in `device`, with its instance ID as EjectDrive sets it.
// False, with `errorText` set to the stage's reason, when the volume cannot be opened or its
// device cannot be found. A device node without a parent gives true and device 0, which
// every ejection request refuses.
bool FindEjectableDevice(char letter, DEVINST* device, char (&errorText)[kEjectTextBytes],
                         char (&deviceInstanceId)[kDeviceInstanceIdBytes]);

enum class EjectOutcome {
    Ejected,
    Vetoed,  // a program or driver stopped the removal
    Failed,  // refused for another reason
};

// One ejection request of `device`; `vetoName` gets the veto name it hands back, UTF-16 as
// Windows gives it, terminated.
EjectOutcome RequestEjection(DEVINST device, WCHAR (&vetoName)[MAX_PATH]);

// The ejection EjectDrive makes of `device`: up to three requests, each failed one followed
// by a 500 ms pause; `vetoName` gets the last request's veto name.
EjectOutcome EjectDevice(DEVINST device, WCHAR (&vetoName)[MAX_PATH]);

// The device instance of the first present disk, CD-ROM or floppy interface (chosen by the
// drive type and DOS device target) whose storage device number is `deviceNumber`; 0 when
// none matches.
DEVINST FindDevInstByDeviceNumber(DWORD deviceNumber, UINT driveType, const char* dosDevice);
