// Command dispatch: modes, transports, time-outs, logical units and the failure trace.
#include "platform/aspi.h"
#include "sdk/transport/pass_through.h"
#include "sdk/transport/scsi_dispatch.h"
#include "tests/support/sim_test.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const BYTE kVendorCdb[16] = {0xF0, 0x2A, 0x11, 0x22, 0x33, 0x44,
                             0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};

class Dispatch : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
        device = std::make_shared<sim::ScriptedDevice>();
        device->rules.push_back({{0xF0}, false, 0, {0xC0, 0xDE}});
        ResetSMIDiskInfo(&info);
        info.lun = 1;
    }
    void UsePassThrough() {
        sim::AddPlainVolume(m, 'E', DRIVE_REMOVABLE).target = device;
        ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:");
        info.deviceHandle = r.deviceHandle;
    }
    void UseAspi() {
        m.aspi.installed = true;
        m.aspi.adapters.push_back({device});
        info.aspiModule = LoadLibraryA("wnaspi32.dll");
        UseASPI = 1;
    }
    void TearDown() override {
        if (info.deviceHandle != INVALID_HANDLE_VALUE) CloseHandle(info.deviceHandle);
        if (info.aspiModule != NoAspiModule()) FreeLibrary(info.aspiModule);
        ExpectNothingOpen();
        SimTest::TearDown();
    }
    std::vector<std::string> Trace() const {
        std::vector<std::string> out;
        for (const auto& d : m.journal.debugOutput) out.push_back(d.text);
        return out;
    }

    std::shared_ptr<sim::ScriptedDevice> device;
    SMIDiskInfo info;
};

TEST_F(Dispatch, OnlyReadAndWriteAreSent) {
    UsePassThrough();
    BYTE buffer[4];
    for (int mode : {0, 3, -1})
        EXPECT_EQ(SCSICommandProcess(&info, mode, kVendorCdb, buffer, 2), 0);
    EXPECT_EQ(SCSICommandProcess(NULL, kScsiRead, kVendorCdb, buffer, 2), 0);
    EXPECT_EQ(SCSICommandProcess(&info, kScsiRead, NULL, buffer, 2), 0);
    EXPECT_EQ(SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, -1), 0);
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());
    EXPECT_THAT(Trace(), IsEmpty());
}

// Bad input is refused by the direction routines themselves, on both transports: a negative
// length once sized a heap copy of the caller's buffer on the ASPI road, and a null buffer
// with a length was copied from.
class DispatchRefuses : public Dispatch, public ::testing::WithParamInterface<bool> {};

TEST_P(DispatchRefuses, NegativeLengthOrMissingBufferSendsNothing) {
    if (GetParam())
        UseAspi();
    else
        UsePassThrough();
    BYTE buffer[4] = {7, 7, 7, 7};
    for (int length : {-1, -2, INT_MIN}) {
        EXPECT_EQ(
            SCSICommandRead(info.deviceHandle, info.aspiModule, kVendorCdb, buffer, length, 0), 0);
        EXPECT_EQ(SCSICommandWrite(info.deviceHandle, info.aspiModule, kVendorCdb, buffer, length),
                  0);
    }
    EXPECT_EQ(SCSICommandRead(info.deviceHandle, info.aspiModule, kVendorCdb, NULL, 2, 0), 0);
    EXPECT_EQ(SCSICommandWrite(info.deviceHandle, info.aspiModule, kVendorCdb, NULL, 2), 0);
    EXPECT_EQ(SCSICommandRead(info.deviceHandle, info.aspiModule, NULL, buffer, 2, 0), 0);
    EXPECT_EQ(SCSICommandProcess(&info, kScsiWrite, kVendorCdb, NULL, 2), 0);
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());
    EXPECT_THAT(Trace(), IsEmpty()) << "refused input is no transport failure";
    EXPECT_EQ(buffer[0], 7);

    // No data phase needs no buffer.
    device->rules.push_back({{0xF1}, false, 0, {}});
    const BYTE noData[16] = {0xF1, 0x01};
    EXPECT_EQ(SCSICommandWrite(info.deviceHandle, info.aspiModule, noData, NULL, 0), 1);
    EXPECT_EQ(m.journal.scsiCommands.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, DispatchRefuses, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Aspi" : "PassThrough";
                         });

TEST_F(Dispatch, PassThroughReadAndWrite) {
    UsePassThrough();
    BYTE buffer[4] = {0};
    EXPECT_EQ(SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, 2), 1);
    EXPECT_EQ(buffer[1], 0xDE);
    EXPECT_EQ(SCSICommandProcess(&info, kScsiWrite, kVendorCdb, buffer, 4), 1);
    ASSERT_EQ(m.journal.scsiCommands.size(), 2u);
    const sim::ScsiCommand& read = m.journal.scsiCommands[0].command;
    EXPECT_EQ(read.timeoutSeconds, 5u);
    EXPECT_EQ(read.lun, 0) << "the pass-through does not carry the record's LUN";
    EXPECT_EQ(read.cdbLength, 16);
    EXPECT_EQ(m.journal.scsiCommands[1].command.timeoutSeconds, 300u);
    EXPECT_EQ(m.journal.scsiCommands[1].command.direction, sim::DataDirection::Out);
    EXPECT_THAT(Trace(), IsEmpty());
}

TEST_F(Dispatch, SixFailedAttemptsTraceOnce) {
    UsePassThrough();
    device->rules.front().fail = true;
    BYTE buffer[4];
    EXPECT_EQ(SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, 2), 0);
    EXPECT_EQ(m.journal.scsiCommands.size(), 6u);
    EXPECT_EQ(SCSICommandProcess(&info, kScsiWrite, kVendorCdb, buffer, 2), 0);
    EXPECT_THAT(Trace(), ElementsAre("Read Fail!!", "Write Fail!!"));
}

TEST_F(Dispatch, AspiReadsCarryTheLunAndWritesLunZero) {
    UseAspi();
    BYTE buffer[4] = {0};
    EXPECT_EQ(SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, 2), 1);
    EXPECT_EQ(buffer[0], 0xC0);
    EXPECT_EQ(SCSICommandProcess(&info, kScsiWrite, kVendorCdb, buffer, 2), 1);
    ASSERT_EQ(m.journal.scsiCommands.size(), 2u);
    EXPECT_EQ(m.journal.scsiCommands[0].command.lun, 1);
    EXPECT_EQ(m.journal.scsiCommands[1].command.lun, 0);
    EXPECT_EQ(m.journal.scsiCommands[0].transport, "aspi");
}

TEST_F(Dispatch, AspiCheckConditionStillSucceeds) {
    UseAspi();
    device->rules.front().fail = true;
    BYTE buffer[4] = {7, 7, 7, 7};
    EXPECT_EQ(SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, 2), 1);
    EXPECT_FALSE(m.journal.scsiCommands[0].succeeded);
    EXPECT_EQ(m.journal.aspiBlocks[0][offsetof(SRB_ExecSCSICmd, SRB_Status)], SS_PENDING)
        << "the block as sent";
    EXPECT_EQ(buffer[0], 7) << "whatever the device sent: nothing";
    EXPECT_THAT(Trace(), IsEmpty());
}

TEST_F(Dispatch, VendorCommandIsTheSameOnBothTransports) {
    UsePassThrough();
    BYTE buffer[4];
    SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, 2);
    UseAspi();
    SCSICommandProcess(&info, kScsiRead, kVendorCdb, buffer, 2);
    ASSERT_EQ(m.journal.scsiCommands.size(), 2u);
    const sim::ScsiCommand& pass = m.journal.scsiCommands[0].command;
    const sim::ScsiCommand& aspi = m.journal.scsiCommands[1].command;
    EXPECT_EQ(std::memcmp(pass.cdb, aspi.cdb, 16), 0);
    EXPECT_EQ(std::memcmp(pass.cdb, kVendorCdb, 16), 0);
    EXPECT_EQ(pass.cdbLength, 16);
    EXPECT_EQ(aspi.cdbLength, 12);
    EXPECT_EQ(pass.transferLength, aspi.transferLength);
}

}  // namespace
