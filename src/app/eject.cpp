#include "app/eject.h"

#include "sdk/discovery/user_mode.h"
#include "sdk/system/drive_paths.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD kNoDeviceNumber = 0xFFFFFFFF;
const int kEjectAttempts = 3;
const DWORD kEjectPauseMs = 500;
const DWORD kDetailBytes = 1024;

// The storage device number behind an open handle, or kNoDeviceNumber.
DWORD DeviceNumberOf(HANDLE h) {
    DWORD number = kNoDeviceNumber;
    return QueryStorageDeviceNumber(h, &number) ? number : kNoDeviceNumber;
}

void SetText(char (&out)[kEjectTextBytes], const char* text) {
    std::snprintf(out, sizeof out, "%s", text);
}

// The veto name in the thread's ANSI code page; empty when it does not convert whole. The
// buffer holds any name of MAX_PATH units, two bytes each.
void VetoText(const WCHAR* vetoName, char (&out)[kEjectTextBytes]) {
    out[0] = 0;
    if (vetoName[0] == 0) return;
    int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, vetoName, -1, out,
                                    static_cast<int>(sizeof out), NULL, NULL);
    if (bytes <= 0) out[0] = 0;
    out[sizeof out - 1] = 0;
}

// The device instance ID of `devInst`, at most MAX_DEVICE_ID_LEN characters; empty when it
// cannot be read whole.
void DeviceInstanceIdOf(DEVINST devInst, char (&id)[kDeviceInstanceIdBytes]) {
    std::memset(id, 0, sizeof id);
    if (devInst == 0) return;
    if (CM_Get_Device_IDA(devInst, id, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS) {
        id[0] = 0;
        return;
    }
    id[MAX_DEVICE_ID_LEN] = 0;
}

// One ejection request of `device`, its veto name in `vetoName`. Windows reports a removal a
// program or driver stopped with CR_REMOVE_VETOED and the veto's type.
EjectOutcome RequestOnce(DEVINST device, WCHAR (&vetoName)[MAX_PATH]) {
    PNP_VETO_TYPE vetoType = PNP_VetoTypeUnknown;
    vetoName[0] = 0;
    CONFIGRET result = CM_Request_Device_EjectW(device, &vetoType, vetoName, MAX_PATH, 0);
    vetoName[MAX_PATH - 1] = 0;
    if (result == CR_SUCCESS && vetoType == PNP_VetoTypeUnknown) return EjectOutcome::Ejected;
    if (result == CR_REMOVE_VETOED || vetoType != PNP_VetoTypeUnknown) return EjectOutcome::Vetoed;
    return EjectOutcome::Failed;
}

}  // namespace

DEVINST FindDevInstByDeviceNumber(DWORD deviceNumber, UINT driveType, const char* dosDevice) {
    bool isFloppy = std::strstr(dosDevice, "\\Floppy") != NULL;
    const GUID* interfaceClass = NULL;
    switch (driveType) {
        case DRIVE_REMOVABLE:
            interfaceClass = isFloppy ? &GUID_DEVINTERFACE_FLOPPY : &GUID_DEVINTERFACE_DISK;
            break;
        case DRIVE_FIXED: interfaceClass = &GUID_DEVINTERFACE_DISK; break;
        case DRIVE_CDROM: interfaceClass = &GUID_DEVINTERFACE_CDROM; break;
        default: return 0;
    }

    // Kept as DWORDs so the buffer is aligned for the detail record.
    DWORD buffer[kDetailBytes / sizeof(DWORD)];
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail =
        reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer);

    DEVINST found = 0;
    ForEachPresentInterface(*interfaceClass, [&](HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
        // Sized first, unlike the user-mode walk: the disk sought may come after one too long.
        // A detail that does not fit skips only its own interface.
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(set, data, NULL, 0, &required, NULL);
        if (required == 0 || required > kDetailBytes) return true;

        std::memset(buffer, 0, sizeof buffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (!SetupDiGetDeviceInterfaceDetailA(set, data, detail, required, NULL, &info))
            return true;

        HANDLE h = CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE) return true;
        DWORD number = DeviceNumberOf(h);
        CloseHandle(h);
        if (number == kNoDeviceNumber || number != deviceNumber) return true;
        found = info.DevInst;
        return false;
    });
    return found;
}

bool FindEjectableDevice(char letter, DEVINST* device, char (&errorText)[kEjectTextBytes],
                         char (&deviceInstanceId)[kDeviceInstanceIdBytes]) {
    *device = 0;
    deviceInstanceId[0] = 0;
    const DrivePath root = RootPathOf(letter);
    const DrivePath volumePath = VolumePathOf(letter);
    char dosName[4];
    std::snprintf(dosName, sizeof dosName, "%c:", letter);

    DWORD access = 0;
    switch (GetDriveTypeA(root.text)) {
        case DRIVE_REMOVABLE: access = GENERIC_READ | GENERIC_WRITE; break;
        case DRIVE_CDROM: access = GENERIC_READ; break;
        default: SetText(errorText, "Can't open Volume."); return false;
    }

    HANDLE volume = CreateFileA(volumePath.text, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, 0, NULL);
    if (volume == INVALID_HANDLE_VALUE) {
        SetText(errorText, "Can't open Volume.");
        return false;
    }
    DWORD deviceNumber = DeviceNumberOf(volume);
    CloseHandle(volume);
    if (deviceNumber == kNoDeviceNumber) {
        SetText(errorText, "Bad device number.");
        return false;
    }

    UINT driveType = GetDriveTypeA(root.text);

    char dosDevice[MAX_PATH];
    std::memset(dosDevice, 0, sizeof dosDevice);
    if (QueryDosDeviceA(dosName, dosDevice, MAX_PATH) == 0) {
        SetText(errorText, "Bad dos device name.");
        return false;
    }
    dosDevice[MAX_PATH - 1] = 0;

    DEVINST devInst = FindDevInstByDeviceNumber(deviceNumber, driveType, dosDevice);
    if (devInst == 0) {
        SetText(errorText, "Bad device instance.");
        return false;
    }

    // The disk's parent is the USB device itself. A failure leaves 0, which every
    // ejection request then refuses.
    DEVINST parent = 0;
    CM_Get_Parent(&parent, devInst, 0);
    DeviceInstanceIdOf(parent, deviceInstanceId);
    *device = parent;
    return true;
}

EjectOutcome RequestEjection(DEVINST device, WCHAR (&vetoName)[MAX_PATH]) {
    return RequestOnce(device, vetoName);
}

EjectOutcome EjectDevice(DEVINST device, WCHAR (&vetoName)[MAX_PATH]) {
    std::memset(vetoName, 0, sizeof vetoName);
    EjectOutcome outcome = EjectOutcome::Failed;
    for (int attempt = 0; attempt < kEjectAttempts; ++attempt) {
        outcome = RequestOnce(device, vetoName);
        if (outcome == EjectOutcome::Ejected) break;
        Sleep(kEjectPauseMs);
    }
    return outcome;
}

BOOL EjectDrive(char letter, char (&errorText)[kEjectTextBytes]) {
    char deviceInstanceId[kDeviceInstanceIdBytes];
    return EjectDrive(letter, errorText, deviceInstanceId);
}

BOOL EjectDrive(char letter, char (&errorText)[kEjectTextBytes],
                char (&deviceInstanceId)[kDeviceInstanceIdBytes]) {
    DEVINST device = 0;
    if (!FindEjectableDevice(letter, &device, errorText, deviceInstanceId)) return FALSE;
    WCHAR vetoName[MAX_PATH];
    EjectOutcome outcome = EjectDevice(device, vetoName);
    VetoText(vetoName, errorText);
    return outcome == EjectOutcome::Ejected;
}
