// The USB device a path leads to. A file on any volume of a stick holds the whole stick
// open, whichever letter, subst letter or mounted folder its path goes through: what counts
// is the device an ejection of that volume asks to remove.
#pragma once

#include "platform/win32.h"

// "\\?\Volume{…}\" and its terminator take 50 units.
const DWORD kVolumeNameUnits = 64;

// The name of the volume ("\\?\Volume{…}\") that `path` (a full path, UTF-16) lies on, in
// `volume` (`units` units): a subst letter is first replaced by the folder it stands for,
// then the volume is found by the mount point of the path. False, with `volume` empty, when
// the path leads to no volume or a name cannot be read whole.
bool VolumeOfPath(const WCHAR* path, WCHAR* volume, DWORD units);

// The device behind the volume that `path` lies on, found as above: the volume's storage
// device number leads to the disk or CD-ROM device and on to its parent, the device an
// ejection asks to remove. False when the path leads to no such
// device: a share, a volume without a storage device number, a device without a parent, or
// a name that cannot be read whole.
bool DeviceOfPath(const WCHAR* path, DEVINST* device);

// The same for the volume of drive `letter` ("X:\").
bool DeviceOfDrive(char letter, DEVINST* device);
