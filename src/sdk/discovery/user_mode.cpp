#include "sdk/discovery/user_mode.h"

#include "sdk/system/drive_paths.h"
#include "sdk/trace/debug_trace.h"

#include <cstdio>
#include <cstring>

namespace {

// Substrings of the device paths of supported drives. The first is how the USB
// mass-storage enumerator spells itself in interface paths; the second is the vendor field
// of a device whose SCSI vendor identification is SMI.
const char* const kSupportedPathMarks[] = {"usbstor", "&ven_smi&", "buffalo", "kingmax"};

}  // namespace

bool IsSupportedInterfacePath(const char* path) {
    for (const char* mark : kSupportedPathMarks)
        if (std::strstr(path, mark) != NULL) return true;
    return false;
}

BOOL QueryStorageDeviceNumber(HANDLE handle, DWORD* number) {
    STORAGE_DEVICE_NUMBER sdn;
    std::memset(&sdn, 0, sizeof sdn);
    DWORD returned = 0;
    if (!DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, NULL, 0, &sdn, sizeof sdn,
                         &returned, NULL))
        return FALSE;
    *number = sdn.DeviceNumber;
    return TRUE;
}

BOOL GetStorageDeviceNumber(const char* path, DWORD* number) {
    HANDLE h = CreateFileA(path, 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    BOOL ok = QueryStorageDeviceNumber(h, number);
    CloseHandle(h);
    return ok;
}

int CollectStorageInterfaces(const GUID& interfaceClass, StorageInterfaceEntry* table,
                             int* entryCount) {
    const DWORD kDetailBytes = 1024;
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail =
        static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(GlobalAlloc(GPTR, kDetailBytes));
    if (detail == NULL) return 0;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);

    int enumerated = 0;
    ForEachPresentInterface(interfaceClass, [&](HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
        // Unsized read, unlike the ejection's lookup: the list keeps its established content.
        // A detail that does not fit the buffer ends this class's walk.
        if (!SetupDiGetDeviceInterfaceDetailA(set, data, detail, kDetailBytes, NULL, NULL))
            return false;
        ++enumerated;
        // The detail buffer holds at most 1023 path bytes; force a terminator regardless.
        reinterpret_cast<char*>(detail)[kDetailBytes - 1] = 0;
        const char* path = detail->DevicePath;

        char line[256];
        std::snprintf(line, sizeof line, "pDetail->DevicePath: %s \n", path);
        DebugTrace(line);

        if (!IsSupportedInterfacePath(path)) return true;
        // A full table takes no more entries, and a path too long for the path field
        // cannot be recorded without changing it, so such an interface is left out.
        if (*entryCount >= kMaxInterfaceEntries) return true;
        size_t length = std::strlen(path);
        if (length >= sizeof table[0].devicePath) return true;

        StorageInterfaceEntry& entry = table[*entryCount];
        std::memcpy(entry.devicePath, path, length + 1);
        DWORD number = 0;
        if (GetStorageDeviceNumber(path, &number)) {
            entry.deviceNumber = number;
            ++*entryCount;
        }
        return true;
    });

    GlobalFree(detail);
    return enumerated;
}

void MatchDrivesToInterfaces(char* letterTable, int* count) {
    DriveNumberEntry drives[kMaxDriveEntries];
    StorageInterfaceEntry interfaces[kMaxInterfaceEntries];
    std::memset(drives, 0, sizeof drives);
    std::memset(interfaces, 0, sizeof interfaces);
    int driveCount = 0;
    int entryCount = 0;

    DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 32; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        DWORD number = 0;
        if (GetStorageDeviceNumber(VolumePathOf(static_cast<char>('A' + i)).text, &number)) {
            drives[driveCount].driveLetter = static_cast<char>('A' + i);
            drives[driveCount].deviceNumber = number;
            ++driveCount;
        }
    }

    CollectStorageInterfaces(GUID_DEVINTERFACE_CDROM, interfaces, &entryCount);
    CollectStorageInterfaces(GUID_DEVINTERFACE_DISK, interfaces, &entryCount);

    int letters = 0;
    for (int p = 0; p < entryCount; ++p) {
        const StorageInterfaceEntry& iface = interfaces[p];
        bool isCdromUnit = std::strstr(iface.devicePath, "#cdrom&") != NULL;
        bool isDiskUnit = std::strstr(iface.devicePath, "disk&") != NULL;
        for (int k = 0; k < driveCount; ++k) {
            const DriveNumberEntry& drive = drives[k];
            if (iface.deviceNumber != drive.deviceNumber) continue;
            if (isCdromUnit && GetDriveTypeA(RootPathOf(drive.driveLetter).text) == DRIVE_CDROM &&
                letters < kMaxUserModeLetters)
                letterTable[letters++] = drive.driveLetter;
            if (isDiskUnit && letters < kMaxUserModeLetters)
                letterTable[letters++] = drive.driveLetter;
        }
    }
    *count = letters;
}

int GetUserModeDiskLetters(char* letters, int* count) {
    char table[kMaxUserModeLetters];
    std::memset(table, 0, sizeof table);
    *count = 0;
    MatchDrivesToInterfaces(table, count);
    std::memcpy(letters, table, static_cast<size_t>(*count));
    return 1;
}
