#include "sdk/scan/vwin32_lock.h"

#include "sdk/scan/disk_lock.h"

#include <cstring>

namespace {

enum : DWORD {
    kGenericBlockDeviceIoctl = 0x440D,
    kLockLogicalVolume = 0x4A,
    kUnlockLogicalVolume = 0x6A,
    kCarryFlag = 1,
};
// Category 48h is the FAT32-aware form of the call; systems before it know only 08h.
enum : BYTE { kCategoryFat32 = 0x48, kCategoryFat16 = 0x08 };

// Runs one generic block-device I/O control with category 48h, then once with 08h when the
// first is refused. The block is zeroed once and goes out and comes back in the same buffer:
// the retry sets only the registers the call takes (EDX only when `setEdx`) and sends every
// other word as the refused call returned it. 1 when a call returned with the carry flag
// clear.
int GenericIoctl(HANDLE vwin32, DWORD ebx, DWORD minor, bool setEdx, DWORD edx) {
    const BYTE categories[] = {kCategoryFat32, kCategoryFat16};
    Vwin32Registers regs;
    std::memset(&regs, 0, sizeof regs);
    for (BYTE category : categories) {
        regs.eax = kGenericBlockDeviceIoctl;
        regs.ebx = ebx;
        regs.ecx = static_cast<DWORD>(category) * 256 + minor;
        if (setEdx) regs.edx = edx;
        DWORD returned = 0;
        BOOL ok = DeviceIoControl(vwin32, kVwin32DosIoctl, &regs, sizeof regs, &regs, sizeof regs,
                                  &returned, NULL);
        if (ok && (regs.flags & kCarryFlag) == 0) return 1;
    }
    return 0;
}

}  // namespace

BYTE Vwin32DriveNumber(char letter) { return static_cast<BYTE>(letter - '@'); }

int LockVolumeVwin32(HANDLE* out, char letter) {
    Vwin32Handle = INVALID_HANDLE_VALUE;
    // A VxD is opened with creation disposition 0.
    Vwin32Handle = CreateFileA("\\\\.\\vwin32", 0, 0, NULL, 0, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (Vwin32Handle == INVALID_HANDLE_VALUE) return 0;
    int result = LockLogicalVolume(Vwin32Handle, Vwin32DriveNumber(letter), 0, 0);
    if (out != NULL) *out = Vwin32Handle;
    return result;
}

int LockLogicalVolume(HANDLE vwin32, BYTE drive, BYTE level, WORD permissions) {
    return GenericIoctl(vwin32, drive + static_cast<DWORD>(level) * 256, kLockLogicalVolume, true,
                        permissions);
}

int UnlockLogicalVolume(HANDLE vwin32, BYTE drive) {
    // EDX is left at the 0 of the zeroed block.
    return GenericIoctl(vwin32, drive, kUnlockLogicalVolume, false, 0);
}
