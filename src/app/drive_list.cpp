#include "app/drive_list.h"

#include "app/console.h"
#include "app/eject.h"
#include "app/wide_text.h"
#include "platform/win32.h"
#include "sdk/discovery/user_mode.h"
#include "sdk/system/drive_paths.h"

#include <cstring>

namespace {

// Reads one string property of a device node into `name`. The property comes from the
// registry, so its length (in bytes) is taken from the answer but bounded by the buffer, and
// it is terminated here whatever it held.
bool ReadNodeName(DEVINST node, ULONG property, WCHAR* name, size_t units) {
    ULONG type = 0;
    ULONG length = static_cast<ULONG>(units * sizeof(WCHAR));
    if (CM_Get_DevNode_Registry_PropertyW(node, property, &type, name, &length, 0) != CR_SUCCESS) {
        name[0] = 0;
        return false;
    }
    size_t end = length / sizeof(WCHAR);
    name[end < units ? end : units - 1] = 0;
    return name[0] != 0;
}

// The disk device node behind the drive, found as the ejection finds it: by the storage
// device number of its volume among the interfaces of its class.
DEVINST DiskNodeOf(char letter) {
    DWORD number = 0;
    if (!GetStorageDeviceNumber(VolumePathOf(letter).text, &number)) return 0;
    char device[3] = {letter, ':', 0};
    char target[MAX_PATH];
    std::memset(target, 0, sizeof target);
    if (QueryDosDeviceA(device, target, MAX_PATH) == 0) return 0;
    target[MAX_PATH - 1] = 0;
    return FindDevInstByDeviceNumber(number, GetDriveTypeA(RootPathOf(letter).text), target);
}

}  // namespace

bool HasMedia(char letter) {
    HANDLE volume = CreateFileA(VolumePathOf(letter).text, FILE_READ_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (volume == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    BOOL ready =
        DeviceIoControl(volume, IOCTL_STORAGE_CHECK_VERIFY, NULL, 0, NULL, 0, &returned, NULL);
    CloseHandle(volume);
    return ready != FALSE;
}

int SupportedDrivesWithMedia(char* letters) {
    std::memset(letters, 0, kMaxSysInfoLetters + 1);
    int count = GetSysInfo(letters, NULL, NULL);
    if (count < 0) count = 0;
    if (count > kMaxSysInfoLetters) count = kMaxSysInfoLetters;
    letters[count] = 0;

    char withMedia[kMaxSysInfoLetters + 1];
    std::memset(withMedia, 0, sizeof withMedia);
    int mediaCount = 0;
    for (int i = 0; i < count; ++i)
        if (HasMedia(letters[i])) withMedia[mediaCount++] = letters[i];
    withMedia[mediaCount] = 0;
    std::memcpy(letters, withMedia, sizeof withMedia);
    return mediaCount;
}

void VolumeLabel(char letter, WCHAR* label, DWORD units) {
    if (units == 0) return;
    const WCHAR root[4] = {static_cast<WCHAR>(letter), ':', '\\', 0};
    if (!GetVolumeInformationW(root, label, units, NULL, NULL, NULL, NULL, 0)) label[0] = 0;
    label[units - 1] = 0;
}

void DriveDeviceName(char letter, WCHAR* name, size_t units) {
    if (units == 0) return;
    name[0] = 0;
    DEVINST node = DiskNodeOf(letter);
    if (node == 0) return;
    if (!ReadNodeName(node, CM_DRP_FRIENDLYNAME, name, units))
        ReadNodeName(node, CM_DRP_DEVICEDESC, name, units);
}

int ListDrives() {
    char letters[kMaxSysInfoLetters + 1];
    int count = SupportedDrivesWithMedia(letters);
    // A drive may be listed more than once (one entry per matching interface); each is
    // shown once.
    bool listed[26] = {false};
    for (int i = 0; i < count; ++i)
        if (letters[i] >= 'A' && letters[i] <= 'Z') listed[letters[i] - 'A'] = true;
    int shown = 0;
    for (int k = 0; k < 26; ++k) {
        if (!listed[k]) continue;
        char letter = static_cast<char>('A' + k);
        WCHAR name[256];
        DriveDeviceName(letter, name, sizeof name / sizeof name[0]);
        WCHAR label[kVolumeLabelUnits];
        VolumeLabel(letter, label, kVolumeLabelUnits);
        WCHAR line[sizeof name / sizeof name[0] + kVolumeLabelUnits + 3];
        WideBuilder text = StartWide(line, sizeof line / sizeof line[0]);
        AddWide(&text, name);
        if (label[0] != 0) {
            if (name[0] != 0) AddAscii(&text, " ");
            AddAscii(&text, "[");
            AddWide(&text, label);
            AddAscii(&text, "]");
        }
        if (line[0] != 0)
            ConsolePrintText(line, "%c: " UTF16_TEXT "\n", letter);
        else
            ConsolePrint("%c:\n", letter);
        ++shown;
    }
    return shown > 0 ? 0 : 1;
}
