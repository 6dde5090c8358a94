// The SDK pieces that touch only real platform facilities, run on a real Win32
// implementation (Wine in CI): the trace switch in the registry, the account decision, the
// user-mode enumeration on the machine's own drives and the System log lookup.
#include "app/eject.h"
#include "app/veto_owner.h"
#include "sdk/discovery/sysinfo.h"
#include "sdk/discovery/user_mode.h"
#include "sdk/system/windows_version.h"
#include "sdk/trace/debug_trace.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char kKey[] = "SOFTWARE\\ZUDUZA";

// The key is written and removed in the program's own view. A 32-bit build on 64-bit
// Windows also falls back to the 64-bit view, so none may be left there either.
class TraceSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
        DebugSwitchLoaded = 0;
        DebugSwitchOn = 0;
    }
    void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey); }

    void Set(DWORD type, const void* data, DWORD size) {
        HKEY key = NULL;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL),
            ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(key, "ShowDebugMsg", 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

TEST_F(TraceSwitch, NonzeroDwordTurnsTracingOn) {
    DWORD value = 5;
    Set(REG_DWORD, &value, sizeof value);
    EXPECT_EQ(LoadDebugSwitch(), ERROR_SUCCESS);
    EXPECT_EQ(DebugSwitchOn, 1u);
}

TEST_F(TraceSwitch, ZeroAbsentOrOtherTypesLeaveItOff) {
    EXPECT_EQ(LoadDebugSwitch(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DebugSwitchOn, 0u);

    DWORD zero = 0;
    Set(REG_DWORD, &zero, sizeof zero);
    EXPECT_EQ(LoadDebugSwitch(), ERROR_SUCCESS);
    EXPECT_EQ(DebugSwitchOn, 0u);

    Set(REG_SZ, "1", 2);
    EXPECT_EQ(LoadDebugSwitch(), ERROR_SUCCESS);
    EXPECT_EQ(DebugSwitchOn, 0u);

    const BYTE eight[8] = {1};
    Set(REG_BINARY, eight, sizeof eight);
    EXPECT_EQ(LoadDebugSwitch(), ERROR_MORE_DATA);
    EXPECT_EQ(DebugSwitchOn, 0u);
}

TEST_F(TraceSwitch, ReadOncePerProcess) {
    DebugTrace("first");  // key absent: off for the rest of the process
    DWORD value = 1;
    Set(REG_DWORD, &value, sizeof value);
    DebugTrace("second");
    EXPECT_EQ(DebugSwitchLoaded, 1u);
    EXPECT_EQ(DebugSwitchOn, 0u);
}

TEST(AccountDecision, AgreesWithTheAccountDatabase) {
    char name[256] = {0};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetUserNameA(name, &size));
    WCHAR wide[256] = {0};
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 256);
    LPBYTE buffer = NULL;
    NET_API_STATUS status = NetUserGetInfo(NULL, wide, 1, &buffer);
    BOOL expected = FALSE;  // lookup failures other than access denied mean administrator
    if (status == NERR_Success) {
        expected = reinterpret_cast<USER_INFO_1*>(buffer)->usri1_priv != USER_PRIV_ADMIN;
        NetApiBufferFree(buffer);
    } else if (status == ERROR_ACCESS_DENIED) {
        expected = TRUE;
    }
    EXPECT_EQ(IsNonAdminUser(), expected) << "NetUserGetInfo status " << status;
}

TEST(WindowsVersion, ModernSystemIsNeitherLegacyNorMe) {
    // Whatever version the system reports to a program without a compatibility manifest,
    // it is an NT system of version 6 or later.
    EXPECT_EQ(IsLegacyWindows(), 0);
    EXPECT_EQ(IsWindowsME(), 0);
    EXPECT_EQ(IsVistaOrLater(), 1);
}

TEST(UserModeEnumeration, FindsNoUsbDriveOnAMachineWithoutOne) {
    char letters[kMaxUserModeLetters + 1];
    std::memset(letters, '#', sizeof letters);
    int count = -1;
    EXPECT_EQ(GetUserModeDiskLetters(letters, &count), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(letters[0], '#');
}

TEST(Ejection, FixedSystemDriveIsRefusedAtTheFirstStage) {
    char windows[MAX_PATH] = {0};
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    char error[kEjectTextBytes];
    EXPECT_FALSE(EjectDrive(windows[0], error));
    EXPECT_STREQ(error, "Can't open Volume.");
}

// The tool never reaches the lookup here (no USB drive), so it is called directly: for a
// device no one vetoed it finds nothing, quietly, well within a second, and unloads the
// event log library again.
TEST(VetoOwnerLookup, FindsNothingForADeviceNoOneVetoed) {
    VetoOwner owner;
    std::memset(&owner, 0x5A, sizeof owner);
    DWORD start = GetTickCount();
    EXPECT_FALSE(FindVetoOwner("USB\\VID_FFFF&PID_FFFF\\KORVANTA-NO-SUCH-DEVICE", 10000, &owner));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(owner.processId, 0u);
    EXPECT_EQ(owner.program[0], 0);
    EXPECT_EQ(GetModuleHandleA("wevtapi.dll"), (HMODULE)NULL);
}

}  // namespace
