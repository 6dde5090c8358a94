// The pass-through transport: the open and its lock rules, the close, the retry policy of
// reads and writes, the blocks as they reach the driver, and INQUIRY.
#include "sdk/transport/pass_through.h"
#include "tests/support/sim_test.h"

#include <cstring>
#include <memory>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class PassThrough : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddUsbFlashDrive(m, 'E', 1);
        device = std::make_shared<sim::ScriptedDevice>();
        device->inquiry = sim::InquiryData("SMI", "USB DISK", "1100", {0xA1, 0xA2});
        m.FindVolume('E')->target = device;
    }
    sim::Volume& Volume() { return *m.FindVolume('E'); }

    // Opens E: into a fresh request; the test closes it.
    ScsiRequest Opened(bool locked) {
        ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        if (locked)
            CSMISCSICmd::OpenSMIDiskLocked(&r, "\\\\.\\E:");
        else
            CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:");
        return r;
    }

    std::shared_ptr<sim::ScriptedDevice> device;
};

TEST_F(PassThrough, LockRules) {
    struct Case {
        const char* name;
        DWORD major;
        const char* fileSystem;
        bool locked;
    };
    for (const Case& c :
         {Case{"NTFS on 5.1", 5, "NTFS", true}, Case{"FAT on 5.1", 5, "FAT32", false},
          Case{"FAT on 6.0", 6, "FAT", true}, Case{"exFAT on 10.0", 10, "exFAT", true},
          Case{"no file system on 5.0", 5, "", false}}) {
        m.journal = {};
        m.version.major = c.major;
        Volume().fileSystem = c.fileSystem;
        ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        EXPECT_EQ(CSMISCSICmd::OpenSMIDiskLocked(&r, "\\\\.\\E:"), 1) << c.name;
        EXPECT_NE(r.deviceHandle, INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(JournalLines("lock").size(), c.locked ? 1u : 0u) << c.name;
        EXPECT_EQ(m.journal.sleeps.size(), c.locked ? 1u : 0u) << "a lock costs 100 ms";
        CSMISCSICmd::CloseSMIDiskHandle(&r);
    }
    ExpectNothingOpen();
}

TEST_F(PassThrough, StorageAndScsiPathsAreNeverLocked) {
    m.version.major = 10;
    Volume().fileSystem = "NTFS";
    for (const char* mark : {"USBSTOR", "usbstor", "SCSI", "scsi"}) {
        sim::Interface i = m.interfaces.front();
        i.devicePath = std::string("\\\\?\\") + mark + "#disk&x#1";
        m.AddInterface(i);
        ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        EXPECT_EQ(CSMISCSICmd::OpenSMIDiskLocked(&r, i.devicePath.c_str()), 1) << mark;
        EXPECT_NE(r.deviceHandle, INVALID_HANDLE_VALUE);
        CSMISCSICmd::CloseSMIDiskHandle(&r);
    }
    EXPECT_THAT(JournalLines("lock"), IsEmpty());
    // The four forms are exact: "Stor" is not one of them.
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskLocked(&r, "\\\\.\\E:");
    EXPECT_EQ(JournalLines("lock").size(), 1u);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
    ExpectNothingOpen();
}

TEST_F(PassThrough, LockThatSucceedsOnTheThirdTry) {
    m.version.major = 6;
    Volume().lockAnswers = {false, false, true};
    ScsiRequest r = Opened(true);
    EXPECT_EQ(JournalLines("lock").size(), 3u);
    EXPECT_EQ(m.clockMs, 300u);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
}

TEST_F(PassThrough, LockThatNeverSucceedsKeepsTheHandleOpen) {
    m.version.major = 6;
    Volume().lockAnswers = {false};
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    EXPECT_EQ(CSMISCSICmd::OpenSMIDiskLocked(&r, "\\\\.\\E:"), 0);
    EXPECT_EQ(JournalLines("lock").size(), 200u);
    EXPECT_EQ(m.clockMs, 20000u);
    EXPECT_NE(r.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.OpenObjects().handles, 1);
    EXPECT_EQ(CSMISCSICmd::CloseSMIDiskHandle(&r), 1);
    ExpectNothingOpen();
}

TEST_F(PassThrough, FailedOpenStoresTheInvalidHandle) {
    Volume().openError = ERROR_ACCESS_DENIED;
    ScsiRequest r = MakeScsiRequest(reinterpret_cast<HANDLE>(0x1234), 5);
    EXPECT_EQ(CSMISCSICmd::OpenSMIDiskLocked(&r, "\\\\.\\E:"), 0);
    EXPECT_EQ(r.deviceHandle, INVALID_HANDLE_VALUE);
    const sim::FileOpen& open = m.journal.fileOpens.back();
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(open.flags, static_cast<DWORD>(FILE_FLAG_NO_BUFFERING));
}

TEST_F(PassThrough, CloseUnlocksOnlyOnVistaAndLater) {
    m.version.major = 5;
    ScsiRequest r = Opened(false);
    EXPECT_EQ(CSMISCSICmd::CloseSMIDiskHandle(&r), 1);
    EXPECT_THAT(JournalLines("unlock"), IsEmpty());

    m.version.major = 6;
    r = Opened(false);
    EXPECT_EQ(CSMISCSICmd::CloseSMIDiskHandle(&r), 1);
    EXPECT_EQ(JournalLines("unlock").size(), 1u);
    EXPECT_NE(r.deviceHandle, INVALID_HANDLE_VALUE) << "the record keeps its stale handle";
    EXPECT_EQ(CSMISCSICmd::CloseSMIDiskHandle(&r), 0) << "a second close fails";

    size_t before = m.journal.lines.size();
    r.deviceHandle = INVALID_HANDLE_VALUE;
    EXPECT_EQ(CSMISCSICmd::CloseSMIDiskHandle(&r), 0);
    EXPECT_EQ(m.journal.lines.size(), before) << "nothing is called for no handle";
    ExpectNothingOpen();
}

TEST_F(PassThrough, ReadSendsTheWholeCommandBlockDirectly) {
    device->rules.push_back({{0xF0, 0x2A}, false, 0, {1, 2, 3, 4, 5}});
    ScsiRequest r = Opened(false);
    r.timeout = 300;
    BYTE cdb[16] = {0xF0, 0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7E, 0, 0, 0, 0x55};
    BYTE buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, buffer, 4, cdb), 1);
    EXPECT_THAT(std::vector<BYTE>(buffer, buffer + 8),
                ElementsAre(1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE));
    ASSERT_EQ(m.journal.scsiCommands.size(), 1u);
    const sim::ScsiCommand& c = m.journal.scsiCommands[0].command;
    EXPECT_EQ(m.journal.scsiCommands[0].transport, "pass-through direct");
    EXPECT_EQ(std::memcmp(c.cdb, cdb, 16), 0);
    EXPECT_EQ(c.cdbLength, 16);
    EXPECT_EQ(c.direction, sim::DataDirection::In);
    EXPECT_EQ(c.transferLength, 4u);
    EXPECT_EQ(c.lun, 0);
    EXPECT_EQ(c.timeoutSeconds, 300u);
    EXPECT_THAT(m.journal.sleeps, IsEmpty());
    EXPECT_THAT(JournalLines("flush"), IsEmpty()) << "reads do not flush";
    const sim::IoControl& io = m.journal.ioControls.back();
    EXPECT_EQ(io.code, IOCTL_SCSI_PASS_THROUGH_DIRECT);
    // Header, filler and sense area: 80 bytes on 32-bit Windows, padded to the header's
    // alignment elsewhere.
    const size_t align = alignof(SCSI_PASS_THROUGH_DIRECT);
    EXPECT_EQ(io.inSize,
              (sizeof(SCSI_PASS_THROUGH_DIRECT) + sizeof(ULONG) + 32 + align - 1) / align * align);
    EXPECT_EQ(io.outSize, io.inSize);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
}

TEST_F(PassThrough, PersistentFailureCostsSixAttemptsAndSixPauses) {
    device->rules.push_back({{0xF0}, true, 0, {}});
    ScsiRequest r = Opened(false);
    BYTE cdb[16] = {0xF0};
    BYTE buffer[4];
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, buffer, 4, cdb), 0);
    EXPECT_EQ(m.journal.scsiCommands.size(), 6u);
    EXPECT_EQ(m.clockMs, 600u);

    m.journal = {};
    m.clockMs = 0;
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughWrite(&r, buffer, 4, cdb), 0);
    EXPECT_EQ(m.journal.scsiCommands.size(), 6u);
    EXPECT_EQ(JournalLines("flush").size(), 6u) << "a write flushes after every attempt";
    EXPECT_EQ(m.clockMs, 600u);
    EXPECT_EQ(m.journal.scsiCommands[0].command.direction, sim::DataDirection::Out);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
}

TEST_F(PassThrough, SuccessOnALaterAttemptStops) {
    device->rules.push_back({{0xF1}, false, 2, {9}});
    ScsiRequest r = Opened(false);
    BYTE cdb[16] = {0xF1};
    BYTE buffer[1] = {0};
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughWrite(&r, buffer, 1, cdb), 1);
    EXPECT_EQ(m.journal.scsiCommands.size(), 3u);
    EXPECT_EQ(JournalLines("flush").size(), 3u);
    EXPECT_EQ(m.clockMs, 200u);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
}

TEST_F(PassThrough, InvalidHandleSendsNothingButStillTakesSixAttempts) {
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    BYTE cdb[16] = {0xF0};
    BYTE buffer[4];
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, buffer, 4, cdb), 0);
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughWrite(&r, buffer, 4, cdb), 0);
    EXPECT_THAT(m.journal.ioControls, IsEmpty());
    EXPECT_THAT(JournalLines("flush"), IsEmpty());
    EXPECT_EQ(m.clockMs, 1200u);
    BYTE out[56];
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughInquiry(&r, out, 1), 0);
}

TEST_F(PassThrough, InquiryFullAndShortCopies) {
    ScsiRequest r = Opened(false);
    BYTE full[64];
    std::memset(full, 0xEE, sizeof full);
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughInquiry(&r, full, 1), 1);
    EXPECT_EQ(std::memcmp(full + 8, "SMI     USB DISK        1100", 28), 0);
    EXPECT_EQ(full[36], 0xA1);
    EXPECT_EQ(full[37], 0xA2);
    EXPECT_EQ(full[38], 0) << "bytes the device did not send stay zero";
    EXPECT_EQ(full[55], 0);
    EXPECT_EQ(full[56], 0xEE) << "exactly 56 bytes are written";

    BYTE shortCopy[64];
    std::memset(shortCopy, 0xEE, sizeof shortCopy);
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughInquiry(&r, shortCopy, 0), 1);
    EXPECT_EQ(std::memcmp(shortCopy + 3, "SMI     ", 8), 0);
    EXPECT_EQ(std::memcmp(shortCopy + 11, "USB DISK        ", 16), 0);
    EXPECT_EQ(std::memcmp(shortCopy + 27, "1100", 4), 0);
    EXPECT_EQ(shortCopy[31], 0xA1);
    EXPECT_EQ(shortCopy[51], 0xEE) << "exactly 51 bytes are written";

    // The buffered request declares only its header as input, and as output the header,
    // filler and sense area (80 bytes on 32-bit Windows) plus the 56 data bytes.
    const sim::IoControl& io = m.journal.ioControls.back();
    EXPECT_EQ(io.code, IOCTL_SCSI_PASS_THROUGH);
    EXPECT_EQ(io.inSize, sizeof(SCSI_PASS_THROUGH));
    EXPECT_EQ(io.outSize, sizeof(SCSI_PASS_THROUGH) + sizeof(ULONG) + 32 + 56);

    const sim::ScsiCommandSent& sent = m.journal.scsiCommands.back();
    EXPECT_EQ(sent.transport, "pass-through");
    EXPECT_EQ(sent.command.cdbLength, 6);
    EXPECT_EQ(sent.command.cdb[0], 0x12);
    EXPECT_EQ(sent.command.cdb[4], 56);
    EXPECT_EQ(sent.command.transferLength, 56u);
    EXPECT_EQ(sent.command.timeoutSeconds, 5u);

    device->failInquiry = true;
    std::memset(full, 0xEE, sizeof full);
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughInquiry(&r, full, 1), 0);
    EXPECT_EQ(full[0], 0xEE) << "nothing is written on failure";
    EXPECT_EQ(m.journal.scsiCommands.size(), 3u) << "INQUIRY is not retried";
    CSMISCSICmd::CloseSMIDiskHandle(&r);
    ExpectNothingOpen();
}

TEST_F(PassThrough, NtfsTestBuildsTheRoot) {
    Volume().fileSystem = "NTFS";
    EXPECT_EQ(CSMISCSICmd::IsNTFSVolume("\\\\.\\E:"), 1);
    EXPECT_EQ(JournalLines("volumeinfo").back(), "volumeinfo E:\\");
    // A lower-case letter is not taken for a volume path: the path gets a backslash.
    EXPECT_EQ(CSMISCSICmd::IsNTFSVolume("\\\\.\\e:"), 0);
    EXPECT_EQ(JournalLines("volumeinfo").back(), "volumeinfo \\\\.\\e:\\");
    EXPECT_EQ(CSMISCSICmd::IsNTFSVolume("E:"), 1);
    EXPECT_EQ(JournalLines("volumeinfo").back(), "volumeinfo E:\\");
    Volume().fileSystem = "NTFS5";  // only the first four characters count
    EXPECT_EQ(CSMISCSICmd::IsNTFSVolume("\\\\.\\E:"), 1);
    Volume().fileSystem = "FAT32";
    EXPECT_EQ(CSMISCSICmd::IsNTFSVolume("\\\\.\\E:"), 0);
    EXPECT_EQ(CSMISCSICmd::IsNTFSVolume("\\\\.\\Q:"), 0);
}

}  // namespace
