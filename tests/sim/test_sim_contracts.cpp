// The simulated machine keeps the Win32 contracts the program relies on, call by call, so
// that a test passing here means the same code behaves the same on Windows. The cases that
// a real Win32 implementation can set up run there too (tests/contracts/); these need what
// a Wine prefix does not have: disk and CD-ROM interfaces, volumes with device numbers, a
// device tree to eject from, SCSI targets and the Windows 9x devices.
#include "tests/support/sim_test.h"

#include <cstring>
#include <ostream>
#include <memory>

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

// An open is granted the specific rights its generic rights stand for, and a volume that
// refuses raw reads refuses GENERIC_READ as well as FILE_READ_DATA.
struct FileAccessCase {
    const char* name;
    DWORD denied, asked;
    bool opens;
};
void PrintTo(const FileAccessCase& c, std::ostream* os) { *os << c.name; }

class FileAccess : public SimTest, public ::testing::WithParamInterface<FileAccessCase> {};

TEST_P(FileAccess, GenericRightsAreMappedBeforeTheCheck) {
    sim::AddPlainVolume(m, 'G', DRIVE_REMOVABLE).deniedAccess = GetParam().denied;
    SetLastError(0);
    HANDLE h = CreateFileA("\\\\.\\G:", GetParam().asked, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (GetParam().opens) {
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(CloseHandle(h));
    } else {
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Opens, FileAccess,
    ::testing::Values(
        FileAccessCase{"generic_read_of_unreadable", FILE_READ_DATA, GENERIC_READ, false},
        FileAccessCase{"read_data_of_unreadable", FILE_READ_DATA, FILE_READ_DATA, false},
        FileAccessCase{"query_of_unreadable", FILE_READ_DATA, 0, true},
        FileAccessCase{"generic_write_of_unreadable", FILE_READ_DATA, GENERIC_WRITE, true},
        FileAccessCase{"generic_write_of_unwritable", FILE_WRITE_DATA, GENERIC_WRITE, false},
        FileAccessCase{"generic_read_of_unwritable", FILE_WRITE_DATA, GENERIC_READ, true}),
    [](const ::testing::TestParamInfo<FileAccessCase>& i) { return std::string(i.param.name); });

// The I/O manager refuses a control whose code asks for access the handle lacks.
TEST_F(Contracts, IoControlsNeedTheAccessTheirCodeAsks) {
    sim::AddPlainVolume(m, 'G', DRIVE_REMOVABLE, true, 3);
    HANDLE query = CreateFileA("\\\\.\\G:", 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(query, INVALID_HANDLE_VALUE);
    STORAGE_DEVICE_NUMBER sdn;
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(query, IOCTL_STORAGE_GET_DEVICE_NUMBER, NULL, 0, &sdn, sizeof sdn,
                                &returned, NULL));
    SetLastError(0);
    EXPECT_FALSE(
        DeviceIoControl(query, IOCTL_STORAGE_CHECK_VERIFY, NULL, 0, NULL, 0, &returned, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(query));

    HANDLE reader = CreateFileA("\\\\.\\G:", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(
        DeviceIoControl(reader, IOCTL_STORAGE_CHECK_VERIFY, NULL, 0, NULL, 0, &returned, NULL));
    SCSI_PASS_THROUGH_DIRECT header;
    std::memset(&header, 0, sizeof header);
    header.Length = sizeof header;
    header.CdbLength = 6;
    header.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(reader, IOCTL_SCSI_PASS_THROUGH_DIRECT, &header, sizeof header,
                                 &header, sizeof header, &returned, NULL))
        << "the pass-through needs read and write access";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(reader));
    EXPECT_TRUE(m.journal.scsiCommands.empty());
    ExpectNothingOpen();
}

// The port driver addresses a volume's own device whatever path and target the request
// names, so nothing is refused for them; the journal keeps them for the tests.
TEST_F(Contracts, PassThroughKeepsTheAddressTheRequestNamed) {
    auto device = std::make_shared<sim::ScriptedDevice>();
    device->rules.push_back({{0x00}, false, 0, {}});
    sim::AddPlainVolume(m, 'G', DRIVE_REMOVABLE, true, 3).target = device;
    HANDLE h =
        CreateFileA("\\\\.\\G:", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SCSI_PASS_THROUGH_DIRECT header;
    std::memset(&header, 0, sizeof header);
    header.Length = sizeof header;
    header.PathId = 1;
    header.TargetId = 2;
    header.Lun = 3;
    header.CdbLength = 6;
    header.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(h, IOCTL_SCSI_PASS_THROUGH_DIRECT, &header, sizeof header, &header,
                                sizeof header, &returned, NULL));
    EXPECT_TRUE(CloseHandle(h));
    ASSERT_EQ(m.journal.scsiCommands.size(), 1u);
    EXPECT_EQ(m.journal.scsiCommands[0].command.pathId, 1);
    EXPECT_EQ(m.journal.scsiCommands[0].command.targetId, 2);
    EXPECT_EQ(m.journal.scsiCommands[0].command.lun, 3);
    EXPECT_THAT(JournalLines("scsi"),
                ::testing::ElementsAre(::testing::HasSubstr("lun 3 path 1 target 2")));
    ExpectNothingOpen();
}

// Windows 9x opens its virtual device drivers with creation disposition 0; a volume or
// file open with it is refused as on the NT family.
TEST_F(Contracts, CreationDispositionZeroOnlyForTheVxdDevice) {
    sim::AddPlainVolume(m, 'G', DRIVE_REMOVABLE);
    SetLastError(0);
    EXPECT_EQ(CreateFileA("\\\\.\\G:", 0, 0, NULL, 0, 0, NULL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    HANDLE vxd = CreateFileA("\\\\.\\VWIN32", 0, 0, NULL, 0, 0, NULL);
    if (vxd == INVALID_HANDLE_VALUE)
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    else
        EXPECT_TRUE(CloseHandle(vxd));
    ExpectNothingOpen();
}

// advapi32 registry.c test_redirection: the 32-bit view spelt out as
// SOFTWARE\Wow6432Node is the 32-bit view from either side, and KEY_WOW64_32KEY below a
// key of the 64-bit view opens the 32-bit view's key of that path.
TEST_F(Contracts, RegistryViewsAsWindowsRedirectsThem) {
    m.registry.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrel\\Sub", "View", "32");
    m.registry.SetString(sim::Hklm64BitView, "SOFTWARE\\Kestrel\\Sub", "View", "64");
    auto viewOf = [](HKEY parent, const char* path, REGSAM flags) {
        HKEY key = NULL;
        char text[4] = "";
        DWORD size = sizeof text;
        if (RegOpenKeyExA(parent, path, 0, KEY_READ | flags, &key) != ERROR_SUCCESS)
            return std::string("none");
        RegQueryValueExA(key, "View", NULL, NULL, reinterpret_cast<LPBYTE>(text), &size);
        RegCloseKey(key);
        return std::string(text);
    };
    const char kSpelt[] = "SOFTWARE\\Wow6432Node\\Kestrel\\Sub";
    EXPECT_EQ(viewOf(HKEY_LOCAL_MACHINE, kSpelt, 0), "32");
    EXPECT_EQ(viewOf(HKEY_LOCAL_MACHINE, kSpelt, KEY_WOW64_64KEY), "32");

    HKEY wide = NULL;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrel", 0, KEY_READ | KEY_WOW64_64KEY,
                            &wide),
              ERROR_SUCCESS);
    EXPECT_EQ(viewOf(wide, "Sub", 0), "64");
    EXPECT_EQ(viewOf(wide, "Sub", KEY_WOW64_32KEY), "32");
    EXPECT_EQ(RegCloseKey(wide), ERROR_SUCCESS);
    ExpectNothingOpen();
}

// setupapi devinst.c: interface paths come in lower case, the serial number's letters too.
// A console shows the bytes WriteFile writes in its output code page, the OEM one: the ANSI
// text of a German Windows (1252) is wrong there (850 shows FC as a superscript three).
TEST_F(Contracts, ConsoleShowsWrittenBytesInTheOemCodePage) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(GetStdHandle(STD_OUTPUT_HANDLE),
                          "Pr\xFC"
                          "fung",
                          7, &written, NULL));
    EXPECT_EQ(m.journal.console.back().text, "Pr³fung");
}

// The process list leaves a list too short alone and gives the count it needs; a process
// that ended has left the console.
TEST_F(Contracts, ConsoleProcessList) {
    m.processes[4200 - 4] = {sim::ProcessEnd::Later, 100};
    m.console.otherProcesses = {4200 - 4, sim::kCommandInterpreterId};
    DWORD list[3] = {7, 7, 7};
    EXPECT_EQ(GetConsoleProcessList(list, 2), 3u);
    EXPECT_EQ(list[0], 7u);
    m.clockMs = 100;
    EXPECT_EQ(GetConsoleProcessList(list, 2), 2u);
    EXPECT_EQ(list[0], m.process.id);
    EXPECT_EQ(list[1], sim::kCommandInterpreterId);
}

// Keys pressed before a flush are gone; with processed input on, Ctrl+C is no input record
// but the signal that ends the process.
TEST_F(Contracts, ConsoleInput) {
    m.console.keys = {{10, 'X', u'x', 0}, {20, 'C', 3, LEFT_CTRL_PRESSED}, {30, 'C', 3, 0}};
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    m.clockMs = 10;
    ASSERT_TRUE(FlushConsoleInputBuffer(input));
    EXPECT_EQ(WaitForSingleObject(input, 15), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the Ctrl+C at 20 wakes nothing";
    EXPECT_EQ(JournalLines("input").back(), "input ctrl+c ends the process");
    EXPECT_EQ(m.clockMs, 25u);
    ASSERT_TRUE(SetConsoleMode(input, ENABLE_ECHO_INPUT));
    INPUT_RECORD records[4];
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleInputW(input, records, 4, &read));
    EXPECT_EQ(m.clockMs, 30u) << "a read waits for the next key";
    ASSERT_EQ(read, 2u);
    EXPECT_TRUE(records[0].Event.KeyEvent.bKeyDown);
    EXPECT_FALSE(records[1].Event.KeyEvent.bKeyDown);
    EXPECT_EQ(records[0].Event.KeyEvent.uChar.UnicodeChar, 3);
    EXPECT_EQ(WaitForSingleObject(input, 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(m.clockMs, 530u);
}

TEST_F(Contracts, InterfacePathsAreLowerCase) {
    sim::AddUsbFlashDrive(m, 'G', 2);
    const std::string& path = m.interfaces.back().devicePath;
    for (char c : path) EXPECT_FALSE(c >= 'A' && c <= 'Z') << path;
}

// A machine described with generic rights denied is refused where it is described.
TEST_F(Contracts, GenericRightsCannotBeDenied) {
    sim::Volume& volume = sim::AddPlainVolume(m, 'G', DRIVE_REMOVABLE);
    for (DWORD rights : {GENERIC_READ, GENERIC_WRITE, 0x20000000UL /* GENERIC_EXECUTE */,
                         0x10000000UL /* GENERIC_ALL */, 0x02000000UL /* MAXIMUM_ALLOWED */}) {
        EXPECT_THROW(volume.deniedAccess = rights | FILE_READ_DATA, std::runtime_error);
        EXPECT_THROW(m.registry.Key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked").deniedAccess = rights,
                     std::runtime_error);
    }
    EXPECT_EQ(DWORD(volume.deniedAccess), 0u);
}

// A key that refuses some rights refuses an open asking for them, generic or specific.
TEST_F(Contracts, KeyRefusesTheRightsItDenies) {
    m.registry.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", "Name", "x");
    m.registry.Key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked").deniedAccess = KEY_SET_VALUE;
    HKEY key = NULL;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, KEY_WRITE, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, GENERIC_WRITE, &key),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", 0, GENERIC_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ExpectNothingOpen();
}

}  // namespace
