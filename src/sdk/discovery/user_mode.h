// User-mode drive enumeration: pairs drive letters with the present CD-ROM and disk
// interfaces whose device paths name a supported drive, by storage device number. Needs
// no raw device access, so any account may run it.
#pragma once

#include "platform/win32.h"

#include <cstring>

enum {
    kMaxDriveEntries = 64,      // drive table; one entry per logical drive, so 32 in use at most
    kMaxInterfaceEntries = 64,  // interface table, shared by both classes
    kMaxUserModeLetters = 32,   // letter table
    kInterfacePathChars = 512,  // path field, terminator included
};

struct DriveNumberEntry {
    char driveLetter;
    DWORD deviceNumber;
};

struct StorageInterfaceEntry {
    char devicePath[kInterfacePathChars];
    DWORD deviceNumber;
};

// Reads the storage device number behind an open volume or interface handle.
BOOL QueryStorageDeviceNumber(HANDLE handle, DWORD* number);

// Opens `path` with no access and reads its storage device number.
BOOL GetStorageDeviceNumber(const char* path, DWORD* number);

// Walks the present device interfaces of one class in the order the system enumerates
// them, handing `visit` the set and each interface's data; a visit that returns false ends
// the walk. The set is destroyed before the walk returns. Returns false when the set cannot
// be created.
template <typename Visit>
bool ForEachPresentInterface(const GUID& interfaceClass, Visit visit) {
    HDEVINFO set =
        SetupDiGetClassDevsA(&interfaceClass, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data;
        std::memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, NULL, &interfaceClass, index, &data)) break;
        if (!visit(set, &data)) break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

// Appends the accepted interfaces of one class to `table` (which holds
// kMaxInterfaceEntries) and advances `entryCount`. Returns how many interfaces were
// enumerated, accepted or not.
int CollectStorageInterfaces(const GUID& interfaceClass, StorageInterfaceEntry* table,
                             int* entryCount);

// Fills `letterTable` (kMaxUserModeLetters) with the matched letters and stores their count.
void MatchDrivesToInterfaces(char* letterTable, int* count);

// Writes the letters of the supported drives to `letters` (not terminated; at most
// kMaxUserModeLetters) and stores their count. Always returns 1.
int GetUserModeDiskLetters(char* letters, int* count);

// True when a device path names a supported drive: it contains "usbstor", "&ven_smi&",
// "buffalo" or "kingmax" (case-sensitive).
bool IsSupportedInterfacePath(const char* path);
