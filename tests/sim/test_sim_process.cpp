// The simulated machine's processes and files: waits on another process on the virtual
// clock, the handles a started process hands out, the drives a process holds, and the
// libraries it loads.
#include "tests/support/sim_test.h"

#include <cstring>

namespace {

struct WaitCase {
    const char* name;
    sim::ProcessEnd end;
    uint64_t endsAtMs;
    DWORD timeout;
    DWORD result;
    uint64_t clockAfter;
};

class ProcessWait : public SimTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(ProcessWait, EndsOnTheVirtualClock) {
    const WaitCase& c = GetParam();
    m.processes[900] = {c.end, c.endsAtMs};
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, 900);
    ASSERT_NE(h, HANDLE(NULL));
    EXPECT_EQ(WaitForSingleObject(h, c.timeout), c.result);
    EXPECT_EQ(m.clockMs, c.clockAfter);
    EXPECT_TRUE(CloseHandle(h));
    // A process that has ended can no longer be opened by its id.
    bool ended = c.result == WAIT_OBJECT_0;
    SetLastError(0);
    HANDLE again = OpenProcess(SYNCHRONIZE, FALSE, 900);
    EXPECT_EQ(again == NULL, ended);
    if (again != NULL) CloseHandle(again);
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ProcessWait,
    ::testing::Values(
        WaitCase{"AtOnce", sim::ProcessEnd::AtOnce, 0, 5000, WAIT_OBJECT_0, 0},
        WaitCase{"LaterWithinTheWait", sim::ProcessEnd::Later, 300, 5000, WAIT_OBJECT_0, 300},
        WaitCase{"LaterThanTheWait", sim::ProcessEnd::Later, 8000, 5000, WAIT_TIMEOUT, 5000},
        WaitCase{"LaterWithoutLimit", sim::ProcessEnd::Later, 8000, INFINITE, WAIT_OBJECT_0, 8000},
        WaitCase{"Never", sim::ProcessEnd::Never, 0, 5000, WAIT_TIMEOUT, 5000},
        WaitCase{"NeverWithoutLimit", sim::ProcessEnd::Never, 0, INFINITE, WAIT_FAILED, 0}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

class SimProcess : public SimTest {};

TEST_F(SimProcess, AStartedProcessHandsOutTwoHandlesAndHoldsItsImage) {
    m.files["C:\\Temp\\copy.exe"] = {};
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    char16_t line[] = u"\"C:\\Temp\\copy.exe\" E:";
    ASSERT_TRUE(CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started));
    EXPECT_EQ(m.OpenObjects().handles, 2);
    EXPECT_TRUE(m.files["C:\\Temp\\copy.exe"].inUse);
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(u"C:\\Temp\\copy.exe"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(started.hThread));
    EXPECT_TRUE(CloseHandle(started.hProcess));
    ASSERT_EQ(m.journal.processesCreated.size(), 1u);
    EXPECT_EQ(m.journal.processesCreated[0].commandLine, "\"C:\\Temp\\copy.exe\" E:");
    ExpectNothingOpen();
}

TEST_F(SimProcess, AFileSearchIsEndedByFindCloseOnly) {
    m.files["C:\\Temp\\a.exe"] = {};
    m.files["C:\\Temp\\b.txt"] = {};
    m.files["C:\\Temp\\sub\\c.exe"] = {};
    m.files["C:\\Temp\\\u0434.exe"] = {};  // "?" stands for one UTF-16 unit
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(u"C:\\TEMP\\?.EXE", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(found.cFileName), u"a.exe");
    ASSERT_TRUE(FindNextFileW(search, &found));
    EXPECT_EQ(std::u16string(found.cFileName), u"\u0434.exe");
    EXPECT_FALSE(FindNextFileW(search, &found));
    EXPECT_FALSE(CloseHandle(search));
    EXPECT_EQ(m.OpenObjects().handles, 1);
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    ExpectNothingOpen();
}

TEST_F(SimProcess, OnlyTheDeviceUnderTheHeldVolumeIsVetoed) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    sim::UsbDriveIds f = sim::AddUsbFlashDrive(m, 'F', 2);
    m.process.currentDirectory = "f:\\music";
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    WCHAR name[MAX_PATH];
    EXPECT_EQ(CM_Request_Device_EjectW(e.usb, &veto, name, MAX_PATH, 0), CR_SUCCESS);
    EXPECT_EQ(veto, PNP_VetoTypeUnknown);
    EXPECT_EQ(CM_Request_Device_EjectW(f.usb, &veto, name, MAX_PATH, 0), CR_REMOVE_VETOED);
    EXPECT_EQ(veto, PNP_VetoOutstandingOpen);
    EXPECT_EQ(sim::Narrow(name), "\\Device\\HarddiskVolume12");
    // The disk itself, below the USB device, is held as well.
    EXPECT_EQ(CM_Request_Device_EjectW(f.disk, &veto, name, MAX_PATH, 0), CR_REMOVE_VETOED);
}

}  // namespace

namespace {

// LoadLibraryExA: the system directory's libraries by full path or bare name, what the
// machine lacks, and the reserved file handle.
struct LoadCase {
    const char* name;
    const char* path;
    HANDLE file;
    bool absent;                   // version.dll is missing
    DWORD error;                   // 0: the load succeeds
    DWORD defaultDirectories = 0;  // as SetDefaultDllDirectories left them
};

class LibraryLoad : public SimTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LibraryLoad, AnswersAsTheLoaderDoes) {
    const LoadCase& c = GetParam();
    if (c.absent) m.systemLibraries.absent.insert("version.dll");
    m.process.defaultDllDirectories = c.defaultDirectories;
    SetLastError(0);
    HMODULE library = LoadLibraryExA(c.path, c.file, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(library == NULL, c.error != 0);
    if (c.error != 0) {
        EXPECT_EQ(GetLastError(), c.error);
    }
    if (library != NULL) {
        EXPECT_NE(GetProcAddress(library, "VerQueryValueA"), FARPROC(NULL));
        EXPECT_EQ(GetProcAddress(library, "NetUserGetInfo"), FARPROC(NULL));
        EXPECT_TRUE(FreeLibrary(library));
    }
    EXPECT_EQ(JournalLines("load"), std::vector<std::string>{std::string("load ") + c.path});
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Loads, LibraryLoad,
    ::testing::Values(
        LoadCase{"FullPath", "C:\\Windows\\system32\\VERSION.DLL", NULL, false, 0},
        LoadCase{"BareName", "version.dll", NULL, false, 0},
        LoadCase{"Absent", "C:\\Windows\\system32\\version.dll", NULL, true, ERROR_MOD_NOT_FOUND},
        LoadCase{"Unknown", "C:\\Windows\\system32\\other.dll", NULL, false, ERROR_MOD_NOT_FOUND},
        LoadCase{"FileHandleGiven", "version.dll", HANDLE(1), false, ERROR_INVALID_PARAMETER},
        // With the search narrowed, the altered search order takes only a full path.
        LoadCase{"BareNameNarrowed", "version.dll", NULL, false, ERROR_INVALID_PARAMETER,
                 LOAD_LIBRARY_SEARCH_SYSTEM32},
        LoadCase{"FullPathNarrowed", "C:\\Windows\\system32\\version.dll", NULL, false, 0,
                 LOAD_LIBRARY_SEARCH_SYSTEM32}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

}  // namespace
