// The supported USB drives with media, as the tool sees them, and their names in the
// device tree.
#pragma once

#include "sdk/discovery/sysinfo.h"

#include <cstddef>

// Nonzero when the drive's volume opens for reading and answers the media check.
bool HasMedia(char letter);

// Asks the drive SDK for the supported drives and keeps, in list order, those with media.
// `letters` holds kMaxSysInfoLetters + 1 characters and comes back terminated. Returns the
// number of letters kept.
int SupportedDrivesWithMedia(char* letters);

// The name of the disk device node behind drive `letter`, in UTF-16 as the device tree holds
// it: its friendly name, else its device description, cut to `units` - 1 units and
// terminated. Empty when the drive has no device node or the node has neither name.
void DriveDeviceName(char letter, WCHAR* name, size_t units);

// The volume label of drive `letter`, UTF-16 as the file system holds it, in `label`
// (`units` units, at most kVolumeLabelUnits needed); empty when the volume has none or
// cannot be asked.
const DWORD kVolumeLabelUnits = MAX_PATH + 1;
void VolumeLabel(char letter, WCHAR* label, DWORD units);

// --list: prints "E: <name> [<label>]", the label in brackets when the volume has one, for
// each supported drive with media, once per letter in ascending order, and returns the exit code: 0
// with a drive, 1 with none.
int ListDrives();
