#include "app/path_device.h"

#include "app/eject.h"
#include "app/wide_text.h"

#include <cstring>

namespace {

// A subst letter may stand for a folder on another subst letter; a few steps are plenty.
const int kMaxSubstSteps = 4;
const DWORD kNoDeviceNumber = 0xFFFFFFFF;

bool IsLetter(WCHAR c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The folder a subst letter stands for: its DOS device names it as "\??\E:\Tools". Any
// other target (a volume's "\Device\HarddiskVolume7", a share) is no folder.
const WCHAR* SubstFolder(const WCHAR* target) {
    bool folder = target[0] == '\\' && target[1] == '?' && target[2] == '?' && target[3] == '\\' &&
                  IsLetter(target[4]) && target[5] == ':';
    return folder ? target + 4 : NULL;
}

// `path` in `out`, with a subst letter in front replaced by the folder it stands for, as
// often as the folder lies on a subst letter again. False when the path does not fit or
// the letters lead on too long.
bool WithoutSubst(const WCHAR* path, WCHAR* out, size_t size) {
    WideBuilder text = StartWide(out, size);
    AddWide(&text, path);
    for (int step = 0; text.fits && step < kMaxSubstSteps; ++step) {
        if (!IsLetter(out[0]) || out[1] != ':') return true;
        const WCHAR name[3] = {out[0], ':', 0};
        WCHAR target[MAX_PATH];
        DWORD n = QueryDosDeviceW(name, target, MAX_PATH);
        if (n == 0) return true;
        target[MAX_PATH - 1] = 0;
        const WCHAR* folder = SubstFolder(target);
        if (folder == NULL) return true;
        WCHAR rest[MAX_PATH];
        WideBuilder tail = StartWide(rest, MAX_PATH);
        AddWide(&tail, out + 2);
        size_t length = WideLength(folder);
        // A letter that stands for a whole drive names its root, backslash included.
        if (length > 0 && folder[length - 1] == '\\' && rest[0] == '\\') --length;
        text = StartWide(out, size);
        AddWide(&text, folder, length);
        AddWide(&text, rest);
        if (!tail.fits) text.fits = false;
    }
    return false;
}

// The parent of the disk or CD-ROM device with the storage device number of `volume`, a
// volume name without its closing backslash.
bool DeviceOfVolume(const WCHAR* volume, DEVINST* device) {
    HANDLE h =
        CreateFileW(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    STORAGE_DEVICE_NUMBER number;
    std::memset(&number, 0, sizeof number);
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, NULL, 0, &number, sizeof number,
                              &returned, NULL);
    CloseHandle(h);
    if (!ok || number.DeviceNumber == kNoDeviceNumber) return false;
    // The device type of the number tells the interface class: a CD-ROM's, else a disk's.
    UINT driveType = number.DeviceType == FILE_DEVICE_CD_ROM ? DRIVE_CDROM : DRIVE_FIXED;
    DEVINST disk = FindDevInstByDeviceNumber(number.DeviceNumber, driveType, "");
    DEVINST parent = 0;
    if (disk == 0 || CM_Get_Parent(&parent, disk, 0) != CR_SUCCESS || parent == 0) return false;
    *device = parent;
    return true;
}

}  // namespace

bool VolumeOfPath(const WCHAR* path, WCHAR* volume, DWORD units) {
    volume[0] = 0;
    WCHAR resolved[MAX_PATH];
    if (!WithoutSubst(path, resolved, MAX_PATH)) return false;
    WCHAR mountPoint[MAX_PATH];
    if (!GetVolumePathNameW(resolved, mountPoint, MAX_PATH)) return false;
    mountPoint[MAX_PATH - 1] = 0;
    if (!GetVolumeNameForVolumeMountPointW(mountPoint, volume, units)) {
        volume[0] = 0;
        return false;
    }
    volume[units - 1] = 0;
    return true;
}

bool DeviceOfPath(const WCHAR* path, DEVINST* device) {
    *device = 0;
    WCHAR volume[kVolumeNameUnits];
    if (!VolumeOfPath(path, volume, kVolumeNameUnits)) return false;
    // With its closing backslash the name opens the volume's root folder; without, the
    // volume itself.
    size_t n = WideLength(volume);
    if (n == 0 || volume[n - 1] != '\\') return false;
    volume[n - 1] = 0;
    return DeviceOfVolume(volume, device);
}

bool DeviceOfDrive(char letter, DEVINST* device) {
    const WCHAR root[4] = {static_cast<WCHAR>(letter), ':', '\\', 0};
    return DeviceOfPath(root, device);
}
