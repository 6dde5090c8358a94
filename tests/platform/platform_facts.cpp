// Platform facts the program depends on, checked at compile time. The same table is
// compiled against the simulated machine's declarations and against the real Windows
// headers, so both agree on every code and every record size; a slip fails the build.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstddef>

#define FACT(name, value) static_assert((name) == (value), #name " has the wrong value")

FACT(IOCTL_STORAGE_CHECK_VERIFY, 0x2D4800UL);
FACT(IOCTL_STORAGE_GET_DEVICE_NUMBER, 0x2D1080UL);
FACT(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, 0x12);
FACT(DRIVE_REMOVABLE, 2);
FACT(DRIVE_FIXED, 3);
FACT(DRIVE_REMOTE, 4);
FACT(DRIVE_CDROM, 5);
FACT(DRIVE_RAMDISK, 6);
FACT(MB_OK, 0);
FACT(MB_ICONHAND, 0x10);
FACT(SW_SHOWNORMAL, 1);
FACT(CR_SUCCESS, 0);
FACT(PNP_VetoTypeUnknown, 0);
FACT(PNP_VetoOutstandingOpen, 5);
FACT(ERROR_ACCESS_DENIED, 5);
FACT(ERROR_ALREADY_EXISTS, 183);
FACT(ERROR_MORE_DATA, 234);
FACT(NERR_Success, 0);
FACT(NERR_UserNotFound, 2221);
FACT(USER_PRIV_GUEST, 0);
FACT(USER_PRIV_USER, 1);
FACT(USER_PRIV_ADMIN, 2);
FACT(KEY_READ, 0x20019);
FACT(KEY_WRITE, 0x20006);
FACT(KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS, 0xB);
FACT(REG_DWORD, 4);
FACT(REG_EXPAND_SZ, 2);
FACT(REG_MULTI_SZ, 7);
FACT(KEY_WOW64_32KEY, 0x0200);
FACT(GENERIC_READ, 0x80000000UL);
FACT(GENERIC_WRITE, 0x40000000UL);
FACT(FILE_READ_DATA, 1);
FACT(FILE_WRITE_DATA, 2);
FACT(FILE_SHARE_READ | FILE_SHARE_WRITE, 3);
FACT(OPEN_EXISTING, 3);
FACT(GPTR, 0x40);
FACT(CP_THREAD_ACP, 3);
FACT(MAX_PATH, 260);
FACT(IOCTL_SCSI_PASS_THROUGH, 0x4D004UL);
FACT(IOCTL_SCSI_PASS_THROUGH_DIRECT, 0x4D014UL);
FACT(FSCTL_LOCK_VOLUME, 0x90018UL);
FACT(FSCTL_UNLOCK_VOLUME, 0x9001CUL);
FACT(SCSI_IOCTL_DATA_OUT, 0);
FACT(SCSI_IOCTL_DATA_IN, 1);
FACT(FILE_FLAG_NO_BUFFERING, 0x20000000UL);
FACT(sizeof(OSVERSIONINFOA), 148u);
FACT(MAX_DEVICE_ID_LEN, 200);
FACT(CR_BUFFER_SMALL, 0x1A);
FACT(ERROR_INSUFFICIENT_BUFFER, 122);

FACT(sizeof(STORAGE_DEVICE_NUMBER), 12u);
FACT(sizeof(DWORD), 4u);
FACT(sizeof(WCHAR), 2u);
FACT(sizeof(ULONG), 4u);
FACT(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), sizeof(DWORD));

#if defined(_WIN32) && !defined(_WIN64)
// 32-bit Windows, the product's own layout.
FACT(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), 5u);
FACT(sizeof(SP_DEVICE_INTERFACE_DATA), 28u);
FACT(sizeof(SP_DEVINFO_DATA), 28u);
FACT(sizeof(SHELLEXECUTEINFOA), 60u);
FACT(sizeof(SCSI_PASS_THROUGH), 44u);
FACT(sizeof(SCSI_PASS_THROUGH_DIRECT), 44u);
#elif defined(_WIN64)
FACT(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), 8u);
FACT(sizeof(SP_DEVICE_INTERFACE_DATA), 32u);
FACT(sizeof(SP_DEVINFO_DATA), 32u);
FACT(sizeof(SHELLEXECUTEINFOA), 112u);
FACT(sizeof(SCSI_PASS_THROUGH), 56u);
FACT(sizeof(SCSI_PASS_THROUGH_DIRECT), 56u);
#endif

// The interface class GUIDs are data, not constants, so they are compared when the tests run.
TEST(PlatformFacts, StorageInterfaceClassGuids) {
    const GUID disk = {
        0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
    GUID cdrom = disk;
    cdrom.Data1 = 0x53f56308;
    GUID floppy = disk;
    floppy.Data1 = 0x53f56311;
    EXPECT_TRUE(GUID_DEVINTERFACE_DISK == disk);
    EXPECT_TRUE(GUID_DEVINTERFACE_CDROM == cdrom);
    EXPECT_TRUE(GUID_DEVINTERFACE_FLOPPY == floppy);
}
