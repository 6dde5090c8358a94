// The disk lock of a device record on both roads: the volume opened (and locked on request)
// through the pass-through with the controller identified, or locked through \\.\vwin32 on
// Windows 9x; and the unlock that undoes each, closing every handle once.
#include "sdk/scan/disk_lock.h"
#include "sdk/scan/vwin32_lock.h"
#include "tests/support/sim_test.h"
#include "tools/scenario.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class DiskLock : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddUsbFlashDrive(m, 'E', 1);
        ResetSMIDiskInfo(&info);
        info.driveLetter = 'E';
        info.ctrlFlag = 1;
    }
    sim::Volume& Volume() { return *m.FindVolume('E'); }

    // The ECX of every vwin32 call: category and minor code.
    std::vector<DWORD> Ecx() const {
        std::vector<DWORD> out;
        for (const sim::Vwin32Call& c : m.journal.vwin32Calls) out.push_back(c.in[2]);
        return out;
    }

    SMIDiskInfo info;
};

// ---------------------------------------------------------------------------------------
// Pass-through road

TEST_F(DiskLock, OpenWithoutTheVolumeLockStillIdentifies) {
    Volume().fileSystem = "NTFS";
    EXPECT_EQ(LockSMIDisk(&info, 0), 1);
    EXPECT_NE(info.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(JournalLines("lock"), IsEmpty()) << "NTFS, but no lock was asked for";
    EXPECT_EQ(info.descriptorOffset, 32) << "identification ran";
    ASSERT_EQ(m.journal.fileOpens.size(), 1u);
    EXPECT_EQ(m.journal.fileOpens[0].path, "\\\\.\\E:");

    EXPECT_EQ(UnLockSMIDisk(&info), 1);
    EXPECT_EQ(info.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(UnLockSMIDisk(&info), 0) << "a second unlock closes nothing";
    EXPECT_THAT(JournalLines("close"), ElementsAre("close \\\\.\\E:"));
    EXPECT_THAT(m.journal.vwin32Calls, IsEmpty());
    ExpectNothingOpen();
}

TEST_F(DiskLock, OpenWithTheVolumeLockAndItsRelease) {
    m.version.major = 6;
    EXPECT_EQ(LockSMIDisk(&info, 1), 1);
    EXPECT_EQ(info.ctrlFlag, 0);
    EXPECT_THAT(JournalLines("lock"), ElementsAre("lock \\\\.\\E:"));
    EXPECT_EQ(UnLockSMIDisk(&info), 1);
    EXPECT_EQ(JournalLines("unlock").size(), 1u);
    ExpectNothingOpen();
}

TEST_F(DiskLock, VolumeThatWillNotOpenStillIdentifiesAndUnlocksToNothing) {
    Volume().openError = ERROR_ACCESS_DENIED;
    info.deviceHandle = reinterpret_cast<HANDLE>(0x4321);
    EXPECT_EQ(LockSMIDisk(&info, 1), 0);
    EXPECT_EQ(info.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(info.descriptorOffset, 32) << "identification ran and failed on its own";
    EXPECT_EQ(UnLockSMIDisk(&info), 0);
    EXPECT_THAT(JournalLines("close"), IsEmpty());
    ExpectNothingOpen();
}

TEST_F(DiskLock, RefusedVolumeLockLeavesTheHandleForTheUnlock) {
    m.version.major = 6;
    Volume().lockAnswers = {false};
    EXPECT_EQ(LockSMIDisk(&info, 1), 0);
    EXPECT_NE(info.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.OpenObjects().handles, 1);
    EXPECT_EQ(UnLockSMIDisk(&info), 1);
    ExpectNothingOpen();
}

// ---------------------------------------------------------------------------------------
// Windows 9x road

class DiskLockVwin32 : public DiskLock {
protected:
    void SetUp() override {
        DiskLock::SetUp();
        m.version = {4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS, ""};
        m.vwin32.present = true;
        UseASPI = 1;
    }
};

TEST_F(DiskLockVwin32, LocksDriveFiveWithoutIdentifying) {
    EXPECT_EQ(LockSMIDisk(&info, 1), 1);
    EXPECT_NE(info.vxdHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(info.vxdHandle, Vwin32Handle);
    EXPECT_EQ(info.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(info.ctrlFlag, 0);
    EXPECT_EQ(info.descriptorOffset, 0) << "no identification on this road";
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());

    ASSERT_EQ(m.journal.fileOpens.size(), 1u);
    const sim::FileOpen& open = m.journal.fileOpens[0];
    EXPECT_EQ(open.path, "\\\\.\\vwin32");
    EXPECT_EQ(open.access, 0u);
    EXPECT_EQ(open.share, 0u);
    EXPECT_EQ(open.flags, DWORD(FILE_FLAG_DELETE_ON_CLOSE));

    ASSERT_EQ(m.journal.vwin32Calls.size(), 1u);
    const sim::Vwin32Call& lock = m.journal.vwin32Calls[0];
    EXPECT_EQ(lock.code, 1u);
    // EBX, EDX, ECX, EAX, EDI, ESI, flags: drive 5 at level 0, no permissions.
    EXPECT_THAT(lock.in, ElementsAre(5u, 0u, 0x484Au, 0x440Du, 0u, 0u, 0u));
    EXPECT_FALSE(lock.carry);

    EXPECT_EQ(UnLockSMIDisk(&info), 1);
    ASSERT_EQ(m.journal.vwin32Calls.size(), 2u);
    EXPECT_THAT(m.journal.vwin32Calls[1].in, ElementsAre(5u, 0u, 0x486Au, 0x440Du, 0u, 0u, 0u));
    EXPECT_EQ(info.vxdHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Vwin32Handle, INVALID_HANDLE_VALUE);
    ExpectNothingOpen();
}

struct CategoryCase {
    const char* name;
    bool category48;
    bool callsFail;
    std::set<std::tuple<char, BYTE, BYTE>> refused;
    std::vector<DWORD> lockEcx;
    int lockResult;
    std::vector<DWORD> unlockEcx;
    int unlockResult;
};

class Categories : public DiskLockVwin32, public ::testing::WithParamInterface<CategoryCase> {};

// Category 48h first, 08h only after 48h failed; the handle is released whatever happened.
TEST_P(Categories, RetryWithTheOlderCategory) {
    const CategoryCase& c = GetParam();
    m.vwin32.category48 = c.category48;
    m.vwin32.callsFail = c.callsFail;
    m.vwin32.refused = c.refused;

    EXPECT_EQ(LockSMIDisk(&info, 1), c.lockResult);
    EXPECT_EQ(Ecx(), c.lockEcx);
    EXPECT_NE(info.vxdHandle, INVALID_HANDLE_VALUE) << "the device opened, so the unlock owns it";
    m.journal.vwin32Calls.clear();
    EXPECT_EQ(UnLockSMIDisk(&info), c.unlockResult);
    EXPECT_EQ(Ecx(), c.unlockEcx);
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    DiskLock, Categories,
    ::testing::Values(
        CategoryCase{"first", true, false, {}, {0x484A}, 1, {0x486A}, 1},
        CategoryCase{"first95", false, false, {}, {0x484A, 0x084A}, 1, {0x486A, 0x086A}, 1},
        CategoryCase{
            "lock48refused", true, false, {{'E', 0x48, 0x4A}}, {0x484A, 0x084A}, 1, {0x486A}, 1},
        CategoryCase{"allRefused",
                     true,
                     false,
                     {{'E', 0x48, 0x4A}, {'E', 0x08, 0x4A}, {'E', 0x48, 0x6A}, {'E', 0x08, 0x6A}},
                     {0x484A, 0x084A},
                     0,
                     {0x486A, 0x086A},
                     0},
        CategoryCase{"ioctlFails", true, true, {}, {0x484A, 0x084A}, 0, {0x486A, 0x086A}, 0}),
    [](const ::testing::TestParamInfo<CategoryCase>& p) { return std::string(p.param.name); });

// The 08h retry goes out in the block the refused 48h call came back in: only the
// registers the call sets change (the lock's EAX, EBX, ECX and EDX, the unlock's EAX, EBX
// and ECX), so the returned flags word, carry set, is sent again as it came back.
TEST_F(DiskLockVwin32, RetryReusesTheRefusedCallsBlock) {
    m.vwin32.refused = {{'E', 0x48, 0x4A}, {'E', 0x48, 0x6A}};
    HANDLE vwin32 = CreateFileA("\\\\.\\vwin32", 0, 0, NULL, 0, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    ASSERT_NE(vwin32, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LockLogicalVolume(vwin32, 5, 1, 0x0002), 1);
    EXPECT_EQ(UnlockLogicalVolume(vwin32, 5), 1);
    CloseHandle(vwin32);
    const std::vector<sim::Vwin32Call>& calls = m.journal.vwin32Calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_THAT(calls[0].in, ElementsAre(0x105u, 2u, 0x484Au, 0x440Du, 0u, 0u, 0u));
    EXPECT_THAT(calls[0].out, ElementsAre(0x105u, 2u, 0x484Au, 5u, 0u, 0u, 1u));
    EXPECT_THAT(calls[1].in, ElementsAre(0x105u, 2u, 0x084Au, 0x440Du, 0u, 0u, 1u));
    EXPECT_THAT(calls[3].in, ElementsAre(5u, 0u, 0x086Au, 0x440Du, 0u, 0u, 1u));
}

TEST_F(DiskLockVwin32, DeviceThatWillNotOpenLeavesTheRecordAsItWas) {
    m.vwin32.present = false;
    EXPECT_EQ(LockSMIDisk(&info, 1), 0);
    EXPECT_EQ(info.vxdHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Vwin32Handle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(m.journal.vwin32Calls, IsEmpty());
    EXPECT_EQ(UnLockSMIDisk(&info), 0);
    ExpectNothingOpen();
}

TEST_F(DiskLockVwin32, UnlockWithNoVwin32HandleSendsNothing) {
    EXPECT_EQ(UnLockSMIDisk(&info), 0);
    EXPECT_THAT(m.journal.lines, IsEmpty());
}

TEST_F(DiskLockVwin32, DriveWithoutAVolumeIsRefusedAndStillReleased) {
    info.driveLetter = 'Q';
    EXPECT_EQ(LockSMIDisk(&info, 1), 0);
    ASSERT_EQ(m.journal.vwin32Calls.size(), 2u);
    EXPECT_EQ(m.journal.vwin32Calls[0].in[0], 17u);
    EXPECT_EQ(m.journal.vwin32Calls[1].out[3], 0x0Fu) << "invalid drive";
    EXPECT_EQ(UnLockSMIDisk(&info), 0);
    EXPECT_THAT(JournalLines("close"), ElementsAre("close \\\\.\\vwin32"));
    ExpectNothingOpen();
}

TEST_F(DiskLockVwin32, TwoLockUnlockRoundsCloseEachHandleOnce) {
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(LockSMIDisk(&info, 1), 1);
        ASSERT_EQ(UnLockSMIDisk(&info), 1);
        EXPECT_EQ(UnLockSMIDisk(&info), 0);
    }
    EXPECT_EQ(JournalLines("close").size(), 2u);
    EXPECT_THAT(JournalLines("close invalid"), IsEmpty());
    ExpectNothingOpen();
}

// ---------------------------------------------------------------------------------------
// The vwin32 steps on their own

TEST_F(DiskLockVwin32, LockLevelAndPermissionsGoToBhAndDx) {
    HANDLE h = CreateFileA("\\\\.\\vwin32", 0, 0, NULL, 0, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LockLogicalVolume(h, 5, 1, 0x0002), 1);
    EXPECT_THAT(m.journal.vwin32Calls[0].in, ElementsAre(0x105u, 2u, 0x484Au, 0x440Du, 0u, 0u, 0u));
    EXPECT_EQ(UnlockLogicalVolume(h, 5), 1);
    EXPECT_THAT(m.journal.vwin32Calls[1].in, ElementsAre(5u, 0u, 0x486Au, 0x440Du, 0u, 0u, 0u));
    CloseHandle(h);
    ExpectNothingOpen();
}

}  // namespace

namespace {

// A scenario describes the device and its refusals; the report carries every call.
TEST_F(DiskLockVwin32, ScenarioDescribesTheDeviceAndReportsItsCalls) {
    sim::Reset();
    sim::Machine& machine = sim::machine();
    scenario::Apply(nlohmann::json::parse(R"({
        "windows": {"major": 4, "minor": 0, "platform": "9x"},
        "volumes": [{"letter": "E"}],
        "vwin32": {"category48": false, "refused": [{"letter": "E", "category": "08h", "call": "unlock"}]}
    })"),
                    machine);
    EXPECT_EQ(LockSMIDisk(&info, 1), 1);
    EXPECT_EQ(UnLockSMIDisk(&info), 0);
    nlohmann::json calls = scenario::Report(machine, 0)["vwin32Calls"];
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0]["in"][2], 0x484A);
    EXPECT_EQ(calls[0]["out"][3], 1) << "invalid function: no category 48h";
    EXPECT_EQ(calls[1]["in"][2], 0x084A);
    EXPECT_EQ(calls[1]["carry"], false);
    EXPECT_EQ(calls[3]["in"][2], 0x086A);
    EXPECT_EQ(calls[3]["carry"], true);
    EXPECT_EQ(calls[3]["out"][3], 5);
    ExpectNothingOpen();

    EXPECT_THROW(scenario::Apply(nlohmann::json::parse(R"({"vwin32": {"refused": [{"letter": "E",
                     "category": "48", "call": "lock"}]}})"),
                                 machine),
                 std::runtime_error);
}

}  // namespace
