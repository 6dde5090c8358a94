// The exported lock pair and its drive: what a program that loads the executable gets from
// LockDisk, UnLockDisk and SetExportDriveLetter, and the vwin32 handle the pair shares with
// the record-based lock.
#include "sdk/scan/disk_lock.h"
#include "sdk/scan/lock_exports.h"
#include "tests/support/sim_test.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class LockExports : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddUsbFlashDrive(m, 'E', 1);
        // Trace on: the pair's entry notes must still show nothing.
        m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    }
    void UseWindows98() {
        m.version = {4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS, ""};
        m.vwin32.present = true;
    }
};

struct LetterCase {
    int argument;
    BOOL accepted;
    char stored;  // ExportDriveLetter afterwards, starting from 'C'
};

class ExportLetter : public LockExports, public ::testing::WithParamInterface<LetterCase> {};

TEST_P(ExportLetter, LettersInEitherCaseAndNothingElse) {
    ExportDriveLetter = 'C';
    EXPECT_EQ(SetExportDriveLetter(GetParam().argument), GetParam().accepted);
    EXPECT_EQ(ExportDriveLetter, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(LockExports, ExportLetter,
                         ::testing::Values(LetterCase{'E', TRUE, 'E'}, LetterCase{'e', TRUE, 'E'},
                                           LetterCase{'A', TRUE, 'A'}, LetterCase{'z', TRUE, 'Z'},
                                           LetterCase{'@', FALSE, 'C'}, LetterCase{'[', FALSE, 'C'},
                                           LetterCase{'`', FALSE, 'C'}, LetterCase{'{', FALSE, 'C'},
                                           LetterCase{0, FALSE, 'C'}, LetterCase{'5', FALSE, 'C'},
                                           LetterCase{0x100 + 'E', FALSE, 'C'},
                                           LetterCase{-1, FALSE, 'C'}));

TEST_F(LockExports, LockAndUnlockTheChosenDrive) {
    m.FindVolume('E')->fileSystem = "NTFS";
    ASSERT_TRUE(SetExportDriveLetter('e'));
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE vwin32 = reinterpret_cast<HANDLE>(0x77);
    LockDisk(0, &handle, &vwin32);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(vwin32, reinterpret_cast<HANDLE>(0x77)) << "the pass-through road leaves it alone";
    EXPECT_EQ(m.journal.fileOpens.at(0).path, "\\\\.\\E:");
    EXPECT_THAT(JournalLines("lock"), ElementsAre("lock \\\\.\\E:"));
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty()) << "the exports never identify";

    UnLockDisk(0, handle, NULL);
    EXPECT_EQ(JournalLines("close").size(), 1u);
    EXPECT_THAT(m.journal.debugOutput, IsEmpty());
    ExpectNothingOpen();
}

TEST_F(LockExports, WithNoDriveChosenTheOpenFailsCleanly) {
    HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
    LockDisk(0, &handle, NULL);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.journal.fileOpens.at(0).path, "\\\\.\\");
    UnLockDisk(0, handle, NULL);
    EXPECT_THAT(JournalLines("close"), IsEmpty());
    ExpectNothingOpen();
}

TEST_F(LockExports, WithoutItsImportsThePairCallsNothing) {
    ExportDriveLetter = 'E';
    m.process.importsBindable = false;
    UseWindows98();
    EXPECT_FALSE(SetExportDriveLetter('C'));
    EXPECT_EQ(ExportDriveLetter, 'E');
    HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
    HANDLE vwin32 = reinterpret_cast<HANDLE>(0x77);
    LockDisk(0, &handle, NULL);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
    LockDisk(1, &handle, &vwin32);
    EXPECT_EQ(vwin32, reinterpret_cast<HANDLE>(0x77));
    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    EXPECT_THAT(m.journal.lines, IsEmpty());
}

TEST_F(LockExports, UnlockOfNothingDoesNothing) {
    UnLockDisk(0, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE*>(0x1));
    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    EXPECT_THAT(m.journal.lines, IsEmpty());
}

TEST_F(LockExports, NullPointersAreNeverFollowed) {
    ASSERT_TRUE(SetExportDriveLetter('E'));
    LockDisk(0, NULL, NULL);
    EXPECT_THAT(m.journal.fileOpens, IsEmpty()) << "nowhere to hand a volume back";

    UseWindows98();
    LockDisk(1, NULL, NULL);
    EXPECT_EQ(m.journal.vwin32Calls.size(), 1u);
    EXPECT_NE(Vwin32Handle, INVALID_HANDLE_VALUE) << "the lock is still held for the unlock";
    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    ExpectNothingOpen();
}

TEST_F(LockExports, Vwin32LockHandsOutTheSharedHandle) {
    UseWindows98();
    ASSERT_TRUE(SetExportDriveLetter('E'));
    HANDLE handle = reinterpret_cast<HANDLE>(0x55);
    HANDLE vwin32 = INVALID_HANDLE_VALUE;
    LockDisk(1, &handle, &vwin32);
    EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x55));
    EXPECT_NE(vwin32, INVALID_HANDLE_VALUE);
    EXPECT_EQ(vwin32, Vwin32Handle);
    ASSERT_EQ(m.journal.vwin32Calls.size(), 1u);
    EXPECT_EQ(m.journal.vwin32Calls[0].in[0], 5u);

    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    ASSERT_EQ(m.journal.vwin32Calls.size(), 2u);
    EXPECT_EQ(m.journal.vwin32Calls[1].in[2], 0x486Au);
    EXPECT_EQ(Vwin32Handle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(JournalLines("close"), ElementsAre("close \\\\.\\vwin32"));
    ExpectNothingOpen();
}

TEST_F(LockExports, Vwin32LockOfNoDriveFailsButTheUnlockStillReleases) {
    UseWindows98();
    HANDLE vwin32 = INVALID_HANDLE_VALUE;
    LockDisk(1, NULL, &vwin32);
    EXPECT_NE(vwin32, INVALID_HANDLE_VALUE);
    ASSERT_EQ(m.journal.vwin32Calls.size(), 2u);
    EXPECT_EQ(m.journal.vwin32Calls[0].in[0], 0xC0u);
    EXPECT_TRUE(m.journal.vwin32Calls[1].carry);
    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    ExpectNothingOpen();
}

// The exported unlock releases whatever vwin32 handle the last record lock stored.
TEST_F(LockExports, ExportedUnlockReleasesARecordsVwin32Lock) {
    UseWindows98();
    UseASPI = 1;
    SMIDiskInfo info;
    ResetSMIDiskInfo(&info);
    info.driveLetter = 'E';
    ASSERT_EQ(LockSMIDisk(&info, 1), 1);
    ASSERT_TRUE(SetExportDriveLetter('E'));
    UnLockDisk(1, INVALID_HANDLE_VALUE, NULL);
    EXPECT_EQ(Vwin32Handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.journal.vwin32Calls.back().in[2], 0x486Au);
    ExpectNothingOpen();
}

}  // namespace
