// The drive-letter list request: the mode chosen by the account's privilege, the settings
// it resets, and its trace lines.
#include "sdk/discovery/sysinfo.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/transport/scsi_dispatch.h"
#include "tests/support/sim_test.h"

#include <cstring>

using ::testing::ElementsAre;

namespace {

struct AccountCase {
    const char* name;
    NET_API_STATUS lookup;
    DWORD privilege;
    BOOL nonAdmin;
};

class AccountDecision : public SimTest, public ::testing::WithParamInterface<AccountCase> {};

TEST_P(AccountDecision, PrivilegeDecidesTheMode) {
    m.account.userName = "Operator";
    m.account.lookupStatus = GetParam().lookup;
    m.account.privilege = GetParam().privilege;
    EXPECT_EQ(IsNonAdminUser(), GetParam().nonAdmin);
    EXPECT_EQ(JournalLines("netuser"), std::vector<std::string>{"netuser Operator"});
    ExpectNothingOpen();  // the account record is freed
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, AccountDecision,
    ::testing::Values(AccountCase{"User", NERR_Success, USER_PRIV_USER, TRUE},
                      AccountCase{"Guest", NERR_Success, USER_PRIV_GUEST, TRUE},
                      AccountCase{"Admin", NERR_Success, USER_PRIV_ADMIN, FALSE},
                      AccountCase{"AccessDenied", ERROR_ACCESS_DENIED, USER_PRIV_ADMIN, TRUE},
                      AccountCase{"NotInLocalDatabase", NERR_UserNotFound, USER_PRIV_USER, FALSE},
                      AccountCase{"OtherFailure", ERROR_INVALID_LEVEL, USER_PRIV_USER, FALSE}),
    [](const ::testing::TestParamInfo<AccountCase>& info) { return info.param.name; });

// An administrator whose privilege cannot be read, because the account library or one of
// its functions is missing, takes the ordinary account's road and leaves nothing loaded.
struct MissingAccountApi {
    const char* name;
    const char* library;
    const char* entry;
};

class AccountLibraryMissing : public SimTest,
                              public ::testing::WithParamInterface<MissingAccountApi> {};

TEST_P(AccountLibraryMissing, TakesTheUserModeRoad) {
    m.account.privilege = USER_PRIV_ADMIN;
    if (GetParam().library) m.systemLibraries.absent.insert(GetParam().library);
    if (GetParam().entry) m.systemLibraries.missingEntries.insert(GetParam().entry);
    EXPECT_TRUE(IsNonAdminUser());
    EXPECT_TRUE(JournalLines("netuser").empty());
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Missing, AccountLibraryMissing,
    ::testing::Values(MissingAccountApi{"Library", "netapi32.dll", nullptr},
                      MissingAccountApi{"Lookup", nullptr, "NetUserGetInfo"},
                      MissingAccountApi{"BufferFree", nullptr, "NetApiBufferFree"}),
    [](const ::testing::TestParamInfo<MissingAccountApi>& info) { return info.param.name; });

class SysInfo : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
        sim::AddUsbFlashDrive(m, 'E', 2);
    }
    std::vector<std::string> Trace() const {
        std::vector<std::string> out;
        for (const auto& d : m.journal.debugOutput) out.push_back(d.text);
        return out;
    }
};

TEST_F(SysInfo, UserModeIgnoresTheFiltersAndTracesNoExit) {
    KeepDiskOpen = 1;
    ScsiRequestKind = 2;
    char letters[kMaxSysInfoLetters + 1];
    std::memset(letters, 'x', sizeof letters);
    EXPECT_EQ(GetSysInfo(letters, "No such vendor", "No such product"), 1);
    EXPECT_EQ(letters[0], 'E');
    EXPECT_EQ(letters[1], 'x') << "the list is not terminated";
    EXPECT_EQ(KeepDiskOpen, 0);
    EXPECT_EQ(ScsiRequestKind, 0);
    ASSERT_FALSE(Trace().empty());
    EXPECT_EQ(Trace()[0], "user mode request Disk Letter List");
    ExpectNothingOpen();
}

TEST_F(SysInfo, AdminModeFallsBackToUserModeWhenTheScanFindsNothing) {
    m.account.privilege = USER_PRIV_ADMIN;  // an administrator, elevated or not
    KeepDiskOpen = 1;
    ScsiRequestKind = 1;
    char letters[kMaxSysInfoLetters + 1] = {0};
    // E: is an ordinary USB drive: no SMI controller answers the scan.
    EXPECT_EQ(GetSysInfo(letters, NULL, NULL), 1);
    EXPECT_EQ(letters[0], 'E');
    ASSERT_GE(Trace().size(), 2u);
    EXPECT_EQ(Trace()[0], "admin mode request Disk Letter List");
    EXPECT_EQ(Trace()[1], "admin mode found no drive, trying user mode");
    EXPECT_EQ(KeepDiskOpen, 0);
    EXPECT_EQ(ScsiRequestKind, 0);
    ExpectNothingOpen();
}

TEST_F(SysInfo, FilteredAdminRequestKeepsItsMeaning) {
    m.account.privilege = USER_PRIV_ADMIN;
    char letters[kMaxSysInfoLetters + 1] = {0};
    // A filter asks for controllers with given strings: no fallback to every USB drive.
    EXPECT_EQ(GetSysInfo(letters, "Generic", NULL), 0);
    EXPECT_EQ(GetSysInfo(letters, NULL, "Flash Disk"), 0);
    EXPECT_THAT(Trace(), ElementsAre("admin mode request Disk Letter List",
                                     "admin mode request Disk Letter List"));
    ExpectNothingOpen();
}

TEST_F(SysInfo, DomainAccountTakesTheAdministratorRoad) {
    m.account.lookupStatus = NERR_UserNotFound;
    char letters[kMaxSysInfoLetters + 1] = {0};
    GetSysInfo(letters, NULL, NULL);
    ASSERT_FALSE(Trace().empty());
    EXPECT_EQ(Trace()[0], "admin mode request Disk Letter List");
}

}  // namespace
