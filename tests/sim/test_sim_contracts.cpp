// The simulated machine keeps the Win32 contracts the program relies on, call by call, so
// that a test passing here means the same code behaves the same on Windows.
#include "tests/support/sim_test.h"

#include <cstring>

namespace {

class Contracts : public SimTest {};

TEST_F(Contracts, DetailReadThatDoesNotFitLeavesTheBufferAlone) {
    sim::AddUsbFlashDrive(m, 'E', 2);
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, 0, &data));

    DWORD required = 0xdeadbeef;
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, NULL, 0, &required, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                            m.interfaces[0].devicePath.size() + 1);

    union {
        SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
        char bytes[64];
    } small;
    std::memset(&small, 0x5a, sizeof small);
    small.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, &small.detail, sizeof small, NULL, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small.bytes[sizeof(DWORD)], 0x5a);

    union {
        SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
        char bytes[1024];
    } big;
    big.detail.cbSize = 1;  // a wrong size member is refused
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, &big.detail, sizeof big, NULL, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, 1, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    ExpectNothingOpen();
}

TEST_F(Contracts, DeviceNumberQueryOnAVolumeWithoutNumberFails) {
    sim::AddPlainVolume(m, 'N', DRIVE_REMOTE);
    HANDLE h = CreateFileA("\\\\.\\n:", 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "volume paths are found without regard to case";
    STORAGE_DEVICE_NUMBER sdn;
    std::memset(&sdn, 0xee, sizeof sdn);
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, NULL, 0, &sdn, sizeof sdn,
                                 &returned, NULL));
    EXPECT_EQ(sdn.DeviceNumber, 0xeeeeeeeeu);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(CreateFileA("\\\\.\\Q:", 0, 0, NULL, OPEN_EXISTING, 0, NULL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Contracts, DrivesAndDosDevices) {
    sim::BuildDefaultMachine(m);
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4));
    EXPECT_EQ(GetDriveTypeA("C:\\"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    char target[MAX_PATH];
    EXPECT_GT(QueryDosDeviceA("D:", target, MAX_PATH), 0u);
    EXPECT_STREQ(target, "\\Device\\CdRom0");
    EXPECT_EQ(QueryDosDeviceA("D:", target, 4), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(Contracts, RegistryValueQueries) {
    m.registry.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "Name", "abc");
    HKEY key = NULL;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\x", 0, KEY_READ, &key), ERROR_SUCCESS);
    char small[2] = {'?', '?'};
    DWORD size = sizeof small, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "name", NULL, &type, reinterpret_cast<LPBYTE>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(small[0], '?');
    char big[8];
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExA(key, "Name", NULL, &type, reinterpret_cast<LPBYTE>(big), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(big, "abc");
    EXPECT_EQ(RegQueryValueExA(key, "Missing", NULL, NULL, NULL, NULL), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    ExpectNothingOpen();
}

TEST_F(Contracts, ConfigurationManagerAnswers) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 1);
    DEVINST parent = 123;
    EXPECT_EQ(CM_Get_Parent(&parent, ids.disk, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(parent, ids.usb);
    EXPECT_NE(CM_Get_Parent(&parent, ids.usb, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(parent, 0u);

    m.devices[ids.usb].ejectAnswers = {
        {CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u"a long veto name"}};
    PNP_VETO_TYPE type = PNP_VetoTypeUnknown;
    WCHAR name[5];
    EXPECT_EQ(CM_Request_Device_EjectW(ids.usb, &type, name, 5, 0),
              static_cast<CONFIGRET>(CR_REMOVE_VETOED));
    EXPECT_EQ(type, PNP_VetoOutstandingOpen);
    EXPECT_EQ(std::u16string(name), u"a lo") << "the name is cut to the buffer";
    EXPECT_EQ(CM_Request_Device_EjectW(0xbad, &type, name, 5, 0),
              static_cast<CONFIGRET>(CR_INVALID_DEVNODE));
}

TEST_F(Contracts, SecondMutexOfTheSameNameExists) {
    HANDLE a = CreateMutexA(NULL, TRUE, "Korvanta");
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE b = CreateMutexA(NULL, TRUE, "Korvanta");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(a, b);
    ExpectNothingOpen();  // a mutex held for the life of the process is not a leak
}

TEST_F(Contracts, TextConversionReportsTheSizeItNeeds) {
    WCHAR wide[8];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, NULL, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdefghij", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char narrow[3];
    EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, u"abc", -1, narrow, 3, NULL, NULL), 0);
}

}  // namespace
