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

// The device instance of the first present disk, CD-ROM or floppy interface (chosen by the
// drive type and DOS device target) whose storage device number is `deviceNumber`; 0 when
// none matches.
DEVINST FindDevInstByDeviceNumber(DWORD deviceNumber, UINT driveType, const char* dosDevice);
