// Injected failures: each failable call of the simulated machine fails when the plan names
// it, the way Windows fails it (its failure result and a fitting last error), and leaves
// the caller's outputs alone. A call that stopped asking would drop out of the fault sweep
// without a word; this table notices.
#include "platform/aspi.h"
#include "sim/fault.h"
#include "tests/support/sim_test.h"

#include <cstring>
#include <functional>
#include <string>

namespace {

const DWORD kKeyDeleted = 1018;

HANDLE OpenVolume(char letter) {
    std::string path = std::string("\\\\.\\") + letter + ":";
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

// True when `result` is the failure result and the last error is `error`.
template <typename T>
bool FailedWith(T result, T failure, DWORD error) {
    return result == failure && GetLastError() == error;
}

struct FaultCase {
    const char* call;
    // Makes the call on the default machine (with the ASPI manager and a registry key)
    // and tells whether it failed as Windows fails it; releases whatever it opened.
    std::function<bool()> failsAsWindowsDoes;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.call; }

HMODULE Aspi() { return LoadLibraryA("wnaspi32.dll"); }

const FaultCase kCases[] = {
    {"CreateFileA",
     [] { return FailedWith(OpenVolume('E'), INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION); }},
    {"DeviceIoControl",
     [] {
         HANDLE h = OpenVolume('E');
         STORAGE_DEVICE_NUMBER n = {7, 7, 7};
         DWORD got = 0;
         bool ok = FailedWith(DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, NULL, 0, &n,
                                              sizeof n, &got, NULL),
                              FALSE, ERROR_IO_DEVICE) &&
                   n.DeviceNumber == 7;
         CloseHandle(h);
         return ok;
     }},
    {"FlushFileBuffers",
     [] {
         HANDLE h = OpenVolume('E');
         bool ok = FailedWith(FlushFileBuffers(h), FALSE, ERROR_IO_DEVICE);
         CloseHandle(h);
         return ok;
     }},
    {"GetLogicalDrives",
     [] { return FailedWith(GetLogicalDrives(), DWORD(0), ERROR_NOT_ENOUGH_MEMORY); }},
    {"QueryDosDeviceA",
     [] {
         char target[MAX_PATH] = "x";
         return FailedWith(QueryDosDeviceA("E:", target, MAX_PATH), DWORD(0),
                           ERROR_FILE_NOT_FOUND) &&
                target[0] == 'x';
     }},
    // The volume a path leads to: the outputs stay as they were.
    {"QueryDosDeviceW",
     [] {
         WCHAR target[MAX_PATH] = {'x'};
         return FailedWith(QueryDosDeviceW(u"E:", target, MAX_PATH), DWORD(0),
                           ERROR_FILE_NOT_FOUND) &&
                target[0] == 'x';
     }},
    {"GetVolumePathNameW",
     [] {
         WCHAR mount[MAX_PATH] = {'x'};
         return FailedWith(GetVolumePathNameW(u"E:\\k.exe", mount, MAX_PATH), FALSE,
                           ERROR_ACCESS_DENIED) &&
                mount[0] == 'x';
     }},
    {"GetVolumeNameForVolumeMountPointW",
     [] {
         WCHAR name[64] = {'x'};
         return FailedWith(GetVolumeNameForVolumeMountPointW(u"E:\\", name, 64), FALSE,
                           ERROR_NOT_READY) &&
                name[0] == 'x';
     }},
    {"CreateFileW",
     [] {
         HANDLE h = CreateFileW(u"\\\\?\\Volume{6b29fc40-ca47-1067-b31d-00dd01066245}", 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
         return FailedWith(h, INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
     }},
    {"SetDllDirectoryW",
     [] { return FailedWith(SetDllDirectoryW(u""), FALSE, ERROR_ACCESS_DENIED); }},
    {"SetDefaultDllDirectories",
     [] {
         typedef BOOL (*SetDefault)(DWORD);
         FARPROC proc =
             GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
         return proc != NULL &&
                FailedWith(reinterpret_cast<SetDefault>(reinterpret_cast<void (*)()>(proc))(
                               LOAD_LIBRARY_SEARCH_SYSTEM32),
                           FALSE, ERROR_ACCESS_DENIED) &&
                sim::machine().process.defaultDllDirectories == 0;
     }},
    {"GetVolumeInformationA",
     [] {
         return FailedWith(GetVolumeInformationA("E:\\", NULL, 0, NULL, NULL, NULL, NULL, 0), FALSE,
                           ERROR_NOT_READY);
     }},
    {"CreateMutexA",
     [] {
         return FailedWith(CreateMutexA(NULL, TRUE, "Korvanta"), HANDLE(NULL), ERROR_ACCESS_DENIED);
     }},
    {"GetModuleHandleA",
     [] { return FailedWith(GetModuleHandleA(NULL), HMODULE(NULL), ERROR_MOD_NOT_FOUND); }},
    {"GlobalAlloc",
     [] { return FailedWith(GlobalAlloc(GPTR, 16), HGLOBAL(NULL), ERROR_NOT_ENOUGH_MEMORY); }},
    {"GetStdHandle",
     [] {
         return FailedWith(GetStdHandle(STD_OUTPUT_HANDLE), INVALID_HANDLE_VALUE,
                           ERROR_INVALID_HANDLE);
     }},
    {"WriteFile",
     [] {
         DWORD written = 0;
         return FailedWith(WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "x", 1, &written, NULL),
                           FALSE, DWORD(109)) &&
                sim::machine().journal.console.empty();
     }},
    {"GetConsoleMode",
     [] {
         DWORD mode = 7;
         return FailedWith(GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode), FALSE,
                           ERROR_INVALID_HANDLE) &&
                mode == 7;
     }},
    {"SetConsoleMode",
     [] {
         return FailedWith(SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), 0), FALSE,
                           ERROR_INVALID_HANDLE) &&
                sim::machine().console.inputMode != 0;
     }},
    {"WriteConsoleW",
     [] {
         const WCHAR x[] = {'x'};
         DWORD written = 0;
         return FailedWith(WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), x, 1, &written, NULL),
                           FALSE, ERROR_INVALID_HANDLE) &&
                sim::machine().journal.console.empty();
     }},
    {"GetConsoleProcessList",
     [] {
         DWORD list[2] = {7, 7};
         return FailedWith(GetConsoleProcessList(list, 2), DWORD(0), ERROR_INVALID_HANDLE) &&
                list[0] == 7;
     }},
    {"FlushConsoleInputBuffer",
     [] {
         return FailedWith(FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)), FALSE,
                           ERROR_INVALID_HANDLE);
     }},
    {"ReadConsoleInputW",
     [] {
         INPUT_RECORD record;
         record.EventType = 7;
         DWORD read = 7;
         return FailedWith(ReadConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), &record, 1, &read),
                           FALSE, ERROR_INVALID_HANDLE) &&
                read == 7 && record.EventType == 7;
     }},
    {"SetConsoleCtrlHandler",
     [] { return FailedWith(SetConsoleCtrlHandler(NULL, FALSE), FALSE, ERROR_INVALID_HANDLE); }},
    {"MultiByteToWideChar",
     [] {
         WCHAR wide[8] = {0};
         return FailedWith(MultiByteToWideChar(CP_ACP, 0, "user", -1, wide, 8), 0, DWORD(1113)) &&
                wide[0] == 0;
     }},
    {"WideCharToMultiByte",
     [] {
         const WCHAR wide[] = {'a', 0};
         char narrow[8] = {0};
         return FailedWith(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 8, NULL, NULL), 0,
                           DWORD(1113)) &&
                narrow[0] == 0;
     }},
    {"GetVersionExA",
     [] {
         OSVERSIONINFOA info;
         std::memset(&info, 0, sizeof info);
         info.dwOSVersionInfoSize = sizeof info;
         return FailedWith(GetVersionExA(&info), FALSE, ERROR_INSUFFICIENT_BUFFER) &&
                info.dwMajorVersion == 0;
     }},
    {"CreateEventA",
     [] {
         return FailedWith(CreateEventA(NULL, TRUE, FALSE, NULL), HANDLE(NULL),
                           ERROR_NOT_ENOUGH_MEMORY);
     }},
    {"ResetEvent",
     [] {
         HANDLE e = CreateEventA(NULL, TRUE, TRUE, NULL);
         bool ok = FailedWith(ResetEvent(e), FALSE, ERROR_ACCESS_DENIED);
         CloseHandle(e);
         return ok;
     }},
    {"SetEvent",
     [] {
         HANDLE e = CreateEventA(NULL, TRUE, FALSE, NULL);
         bool ok = FailedWith(SetEvent(e), FALSE, ERROR_ACCESS_DENIED);
         CloseHandle(e);
         return ok;
     }},
    {"WaitForSingleObject",
     [] {
         HANDLE e = CreateEventA(NULL, TRUE, TRUE, NULL);
         bool ok = FailedWith(WaitForSingleObject(e, 0), DWORD(WAIT_FAILED), ERROR_ACCESS_DENIED);
         CloseHandle(e);
         return ok;
     }},
    {"LoadLibraryA", [] { return FailedWith(Aspi(), HMODULE(NULL), DWORD(1114)); }},
    {"LoadLibraryExA",
     [] {
         HMODULE v = LoadLibraryExA("version.dll", NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
         return FailedWith(v, HMODULE(NULL), DWORD(1114));
     }},
    {"GetProcAddress",
     [] {
         HMODULE aspi = Aspi();
         bool ok = FailedWith(GetProcAddress(aspi, "SendASPI32Command"), FARPROC(NULL),
                              ERROR_PROC_NOT_FOUND);
         FreeLibrary(aspi);
         return ok;
     }},
    {"GetASPI32SupportInfo",
     [] {
         HMODULE aspi = Aspi();
         auto info = reinterpret_cast<GetASPI32SupportInfoFn>(
             reinterpret_cast<void (*)(void)>(GetProcAddress(aspi, "GetASPI32SupportInfo")));
         DWORD answer = info();
         FreeLibrary(aspi);
         return (answer >> 8 & 0xFF) != SS_COMP && (answer & 0xFF) == 0;
     }},
    {"SendASPI32Command",
     [] {
         HMODULE aspi = Aspi();
         auto send = reinterpret_cast<SendASPI32CommandFn>(
             reinterpret_cast<void (*)(void)>(GetProcAddress(aspi, "SendASPI32Command")));
         SRB_ExecSCSICmd srb;
         std::memset(&srb, 0, sizeof srb);
         srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
         DWORD status = send(&srb);
         FreeLibrary(aspi);
         return status == srb.SRB_Status && status != SS_PENDING && status != SS_COMP &&
                sim::machine().journal.aspiBlocks.empty();
     }},
    {"RegOpenKeyExA",
     [] {
         HKEY key = NULL;
         return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) ==
                    ERROR_ACCESS_DENIED &&
                key == NULL;
     }},
    {"RegQueryValueExA",
     [] {
         DWORD value = 7, size = sizeof value;
         HKEY key = NULL;
         RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
         bool ok = RegQueryValueExA(key, "Value", NULL, NULL, reinterpret_cast<LPBYTE>(&value),
                                    &size) == LSTATUS(kKeyDeleted) &&
                   value == 7;
         RegCloseKey(key);
         return ok;
     }},
    {"RegQueryInfoKeyA",
     [] {
         DWORD subkeys = 7;
         return RegQueryInfoKeyA(HKEY_LOCAL_MACHINE, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL,
                                 NULL, NULL, NULL, NULL) == LSTATUS(kKeyDeleted) &&
                subkeys == 7;
     }},
    {"RegEnumKeyExA",
     [] {
         char name[MAX_PATH] = "x";
         DWORD size = MAX_PATH;
         return RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &size, NULL, NULL, NULL, NULL) ==
                    LSTATUS(kKeyDeleted) &&
                name[0] == 'x';
     }},
    {"GetUserNameA",
     [] {
         char name[64] = "x";
         DWORD size = sizeof name;
         return FailedWith(GetUserNameA(name, &size), FALSE, ERROR_NOT_ENOUGH_MEMORY) &&
                name[0] == 'x';
     }},
    {"NetUserGetInfo",
     [] {
         const WCHAR user[] = {'u', 's', 'e', 'r', 0};
         LPBYTE info = NULL;
         return NetUserGetInfo(NULL, user, 1, &info) == NET_API_STATUS(ERROR_NOT_ENOUGH_MEMORY) &&
                info == NULL;
     }},
    {"ShellExecuteExA",
     [] {
         SHELLEXECUTEINFOA info;
         std::memset(&info, 0, sizeof info);
         info.cbSize = sizeof info;
         info.lpVerb = "open";
         info.lpFile = "https://www.example.com/";
         return FailedWith(ShellExecuteExA(&info), FALSE, ERROR_NO_ASSOCIATION);
     }},
    {"MessageBeep",
     [] {
         return FailedWith(MessageBeep(MB_OK), FALSE, ERROR_NOT_ENOUGH_MEMORY) &&
                sim::machine().journal.beeps.empty();
     }},
    {"MessageBoxA",
     [] { return FailedWith(MessageBoxA(NULL, "text", "", MB_OK), 0, ERROR_NOT_ENOUGH_MEMORY); }},
    {"SetupDiGetClassDevsA",
     [] {
         return FailedWith(SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, NULL, NULL,
                                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
                           INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY);
     }},
    {"SetupDiEnumDeviceInterfaces",
     [] {
         HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, NULL, NULL,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
         SP_DEVICE_INTERFACE_DATA data;
         std::memset(&data, 0, sizeof data);
         data.cbSize = sizeof data;
         bool ok =
             FailedWith(SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, 0, &data),
                        FALSE, ERROR_NOT_ENOUGH_MEMORY);
         SetupDiDestroyDeviceInfoList(set);
         return ok;
     }},
    {"SetupDiGetDeviceInterfaceDetailA",
     [] {
         HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, NULL, NULL,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
         SP_DEVICE_INTERFACE_DATA data;
         std::memset(&data, 0, sizeof data);
         data.cbSize = sizeof data;
         SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, 0, &data);
         DWORD required = 0;
         bool ok =
             FailedWith(SetupDiGetDeviceInterfaceDetailA(set, &data, NULL, 0, &required, NULL),
                        FALSE, ERROR_NOT_ENOUGH_MEMORY) &&
             required == 0;
         SetupDiDestroyDeviceInfoList(set);
         return ok;
     }},
    {"CM_Get_Parent",
     [] {
         DEVINST parent = 7;
         return CM_Get_Parent(&parent, sim::machine().interfaces[0].devInst, 0) == CR_FAILURE &&
                parent == 7;
     }},
    {"CM_Request_Device_EjectW",
     [] {
         PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
         WCHAR name[MAX_PATH] = {'x', 0};
         return CM_Request_Device_EjectW(4096, &veto, name, MAX_PATH, 0) == CR_FAILURE &&
                name[0] == 'x';
     }},
    {"CM_Get_DevNode_Registry_PropertyW",
     [] {
         WCHAR name[64] = {'x'};
         ULONG size = sizeof name;
         return CM_Get_DevNode_Registry_PropertyW(sim::machine().interfaces[0].devInst,
                                                  CM_DRP_FRIENDLYNAME, NULL, name, &size,
                                                  0) == CR_FAILURE &&
                name[0] == 'x' && size == sizeof name;
     }},
    {"GetModuleFileNameA",
     [] {
         char path[MAX_PATH] = "x";
         return FailedWith(GetModuleFileNameA(NULL, path, MAX_PATH), DWORD(0),
                           ERROR_NOT_ENOUGH_MEMORY) &&
                path[0] == 'x';
     }},
    {"GetModuleFileNameW",
     [] {
         WCHAR path[MAX_PATH] = {'x'};
         return FailedWith(GetModuleFileNameW(NULL, path, MAX_PATH), DWORD(0),
                           ERROR_NOT_ENOUGH_MEMORY) &&
                path[0] == 'x';
     }},
    {"GetCurrentDirectoryW",
     [] {
         WCHAR path[MAX_PATH] = {'x'};
         return FailedWith(GetCurrentDirectoryW(MAX_PATH, path), DWORD(0),
                           ERROR_NOT_ENOUGH_MEMORY) &&
                path[0] == 'x';
     }},
    {"GetVolumeInformationW",
     [] {
         WCHAR label[MAX_PATH + 1] = {'x'};
         return FailedWith(
                    GetVolumeInformationW(u"E:\\", label, MAX_PATH + 1, NULL, NULL, NULL, NULL, 0),
                    FALSE, ERROR_NOT_READY) &&
                label[0] == 'x';
     }},
    {"LCMapStringW",
     [] {
         WCHAR upper[2] = {'x'};
         return FailedWith(LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, u"a", 1, upper, 2), 0,
                           ERROR_INVALID_PARAMETER) &&
                upper[0] == 'x';
     }},
    {"GetFileVersionInfoSizeA",
     [] {
         DWORD handle = 0;
         return FailedWith(GetFileVersionInfoSizeA("C:\\Tools\\korvanta.exe", &handle), DWORD(0),
                           ERROR_ACCESS_DENIED);
     }},
    {"GetFileVersionInfoA",
     [] {
         char block[512] = "x";
         return FailedWith(GetFileVersionInfoA("C:\\Tools\\korvanta.exe", 0, sizeof block, block),
                           FALSE, ERROR_ACCESS_DENIED) &&
                block[0] == 'x';
     }},
    {"VerQueryValueA",
     [] {
         char block[512];
         GetFileVersionInfoA("C:\\Tools\\korvanta.exe", 0, sizeof block, block);
         LPVOID value = NULL;
         UINT length = 0;
         return VerQueryValueA(block, "\\", &value, &length) == FALSE && value == NULL;
     }},
};

class InjectedFailure : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(InjectedFailure, FailsTheWayWindowsFailsIt) {
    sim::BuildDefaultMachine(m);
    m.aspi.installed = true;
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE", "Value", 1);
    m.registry.Key(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA");
    sim::PlanFaultOf(GetParam().call, 0);
    EXPECT_TRUE(GetParam().failsAsWindowsDoes());
    EXPECT_EQ(sim::InjectedFault(), GetParam().call) << "the call does not ask the plan";
    sim::ResetFaults();
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(EveryFailableCall, InjectedFailure, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.call);
                         });

TEST(FaultPlan, FailsOneAskAndRecordsOnlyWhilePlanned) {
    FreshProcess();
    sim::BuildDefaultMachine(sim::machine());
    EXPECT_FALSE(sim::FaultHere("CreateFileA"));
    EXPECT_THAT(sim::FailableCalls(), ::testing::IsEmpty()) << "nothing is recorded unplanned";

    sim::PlanFault(1);
    HANDLE first = OpenVolume('E');
    HANDLE second = OpenVolume('E');
    HANDLE third = OpenVolume('E');
    EXPECT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(third, INVALID_HANDLE_VALUE) << "only the planned ask fails";
    EXPECT_THAT(sim::FailableCalls(),
                ::testing::ElementsAre("CreateFileA", "CreateFileA", "CreateFileA"));
    CloseHandle(first);
    CloseHandle(third);

    sim::PlanLastingFault(0);
    EXPECT_EQ(OpenVolume('E'), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenVolume('C'), INVALID_HANDLE_VALUE) << "a lasting failure keeps failing";
    EXPECT_NE(GetLogicalDrives(), 0u) << "other calls are answered";
    sim::ResetFaults();
    ExpectNothingOpen();
}

}  // namespace
