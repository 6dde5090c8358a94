// The ASPI transport: the request block as the manager receives it, the completion wait,
// missing entry points, addressing through table entry 0, and requests that outlive the
// wait.
#include "platform/aspi.h"
#include "sdk/device/device_table.h"
#include "sdk/transport/aspi_transport.h"
#include "sim/aspi.h"
#include "tests/support/sim_test.h"

#include <cstddef>
#include <cstring>
#include <memory>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class Aspi : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m.aspi.installed = true;
        for (int i = 0; i < 3; ++i) {
            auto device = std::make_shared<sim::ScriptedDevice>();
            device->name = "adapter device " + std::to_string(i);
            device->inquiry = sim::InquiryData(i == 1 ? "SMI" : "OTHER", "USB DISK", "1100", {});
            devices.push_back(device);
            m.aspi.adapters.push_back({device});
        }
        module = LoadLibraryA("wnaspi32.dll");
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override {
        FreeLibrary(module);
        ExpectNothingOpen();
        SimTest::TearDown();
    }
    const std::vector<BYTE>& Block(size_t k = 0) const { return m.journal.aspiBlocks.at(k); }

    HMODULE module = NULL;
    std::vector<std::shared_ptr<sim::ScriptedDevice>> devices;
};

TEST_F(Aspi, SupportInfoGivesTheAdapterCountInItsLowByte) {
    GetASPI32SupportInfoFn info = LookUpGetASPI32SupportInfo(module);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info(), 0x0103u);  // status SS_COMP, three adapters
    for (BYTE ha = 0; ha < (info() & 0xFF); ++ha) {
        BYTE out[kAspiInquiryRecordLength];
        EXPECT_EQ(InquireASPIDevice(module, ha, 0, 0, out), 1);
    }
    EXPECT_EQ(m.journal.scsiCommands.size(), 3u);
}

TEST_F(Aspi, InquiryProbeBlockAndRecord) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    BYTE out[40];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(InquireASPIDevice(module, 1, 0, 0, out), 1);
    EXPECT_EQ(std::memcmp(out + 3, "SMI     USB DISK        ", 24), 0);
    EXPECT_EQ(out[kAspiInquiryRecordLength], 0xEE) << "exactly 27 bytes";

    const std::vector<BYTE>& b = Block();
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, SRB_Cmd)], SC_EXEC_SCSI_CMD);
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, SRB_HaId)], 1);
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, SRB_Flags)], 0x48);
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, SRB_SenseLen)], 14);
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, SRB_CDBLen)], 6);
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, CDBByte)], 0x12);
    EXPECT_EQ(b[offsetof(SRB_ExecSCSICmd, CDBByte) + 4], 36);
    EXPECT_EQ(m.journal.scsiCommands[0].command.transferLength, 36u);

    char expected[96];
    std::snprintf(expected, sizeof expected, "adapter_id 1 %x %x\n",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)),
                  static_cast<unsigned>(
                      reinterpret_cast<uintptr_t>(GetProcAddress(module, "SendASPI32Command"))));
    ASSERT_EQ(m.journal.debugOutput.size(), 1u);
    EXPECT_EQ(m.journal.debugOutput[0].text, expected);
}

TEST_F(Aspi, ShortInquiryDataLeavesZeros) {
    devices[0]->inquiry.resize(20);  // up to the middle of the product field
    BYTE out[kAspiInquiryRecordLength];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(InquireASPIDevice(module, 0, 0, 0, out), 1);
    EXPECT_EQ(std::memcmp(out + 3, "OTHER   USB ", 12), 0);
    for (size_t i = 15; i < sizeof out; ++i) EXPECT_EQ(out[i], 0) << i;

    devices[0]->failInquiry = true;
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(InquireASPIDevice(module, 0, 0, 0, out), 1) << "the outcome is not examined";
    EXPECT_EQ(out[0], 0);
}

TEST_F(Aspi, RequestEndedInsideTheSendIsNotWaitedFor) {
    BYTE out[kAspiInquiryRecordLength];
    InquireASPIDevice(module, 0, 0, 0, out);
    EXPECT_THAT(JournalLines("wait"), IsEmpty());
    EXPECT_EQ(m.clockMs, 0u);
}

TEST_F(Aspi, PendingRequestWaitsForItsEvent) {
    m.aspi.adapters[1].completion = sim::AspiCompletion::Later;
    m.aspi.adapters[1].latencyMs = 250;
    BYTE out[kAspiInquiryRecordLength] = {0};
    EXPECT_EQ(InquireASPIDevice(module, 1, 0, 0, out), 1);
    EXPECT_THAT(JournalLines("wait"), ElementsAre("wait signalled"));
    EXPECT_EQ(m.clockMs, 250u);
    EXPECT_EQ(std::memcmp(out + 3, "SMI", 3), 0);
}

TEST_F(Aspi, RequestThatNeverEndsIsAbortedAfterTheWait) {
    m.aspi.adapters[0].completion = sim::AspiCompletion::Never;
    SMIDiskTable[0].haId = 0;
    BYTE cdb[16] = {0xF0, 0x20};
    BYTE buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 0, cdb, buffer, sizeof buffer), 1);
    EXPECT_EQ(m.clockMs, 100000u);
    EXPECT_THAT(JournalLines("aspi"),
                ElementsAre("aspi pending adapter 0", "aspi abort adapter 0"));
    EXPECT_EQ(buffer[0], 0xEE) << "nothing arrived";
    EXPECT_TRUE(m.pendingAspi.empty());
}

TEST_F(Aspi, RequestThatCannotBeAbortedKeepsItsMemoryForTheLateAnswer) {
    m.aspi.adapters[0].completion = sim::AspiCompletion::Never;
    m.aspi.abortWorks = false;
    devices[0]->rules.push_back({{0xF0}, false, 0, {1, 2, 3, 4, 5, 6, 7, 8}});
    BYTE cdb[16] = {0xF0};
    {
        BYTE buffer[8];
        std::memset(buffer, 0xEE, sizeof buffer);
        EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 0, cdb, buffer, sizeof buffer), 1);
        EXPECT_EQ(buffer[0], 0xEE);
        BYTE out[kAspiInquiryRecordLength];
        EXPECT_EQ(InquireASPIDevice(module, 0, 0, 0, out), 1);
        EXPECT_EQ(out[3], 0) << "no answer: zeros";
    }
    // The two requests are the manager's now: their blocks, data and events stay.
    EXPECT_EQ(m.OpenObjects().handles, 2);
    EXPECT_EQ(m.OpenObjects().allocations, 2);
    // The manager answers long after the calls returned and the caller's buffers are gone;
    // under AddressSanitizer a write into released memory would fail this test.
    sim::CompletePendingAspiRequests();
    EXPECT_EQ(m.journal.scsiCommands.size(), 2u);
    // What the abandoned requests hold is never released; clear it so the check below
    // speaks of everything else.
    for (auto it = m.objects.begin(); it != m.objects.end();)
        it = (it->second.kind == sim::ObjectKind::Event ||
              it->second.kind == sim::ObjectKind::Allocation)
                 ? m.objects.erase(it)
                 : std::next(it);
}

TEST_F(Aspi, ExecAddressesTableEntryZeroWithTheGivenLun) {
    SMIDiskTable[0].haId = 2;
    SMIDiskTable[0].targetId = 0;
    devices[2]->rules.push_back({{0xF0}, false, 0, {0xAB}});
    devices[2]->rules.push_back({{0xF1}, false, 0, {}});
    BYTE cdb[16] = {0xF0, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C};
    BYTE buffer[4];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 1, cdb, buffer, 4), 1);
    EXPECT_THAT(std::vector<BYTE>(buffer, buffer + 4), ElementsAre(0xAB, 0xEE, 0xEE, 0xEE))
        << "bytes not transferred keep their value";
    cdb[0] = 0xF1;
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataOut, 0, cdb, buffer, 4), 1);

    const std::vector<BYTE>& in = Block(0);
    EXPECT_EQ(in[offsetof(SRB_ExecSCSICmd, SRB_HaId)], 2);
    EXPECT_EQ(in[offsetof(SRB_ExecSCSICmd, SRB_Flags)], 0x48);
    EXPECT_EQ(in[offsetof(SRB_ExecSCSICmd, SRB_Lun)], 1);
    EXPECT_EQ(in[offsetof(SRB_ExecSCSICmd, SRB_CDBLen)], 12);
    EXPECT_EQ(in[offsetof(SRB_ExecSCSICmd, SRB_SenseLen)], 14);
    EXPECT_EQ(std::memcmp(&in[offsetof(SRB_ExecSCSICmd, CDBByte)], "\xF0\x0A", 2), 0);
    EXPECT_EQ(in[offsetof(SRB_ExecSCSICmd, CDBByte) + 11], 0x0C);
    const std::vector<BYTE>& out = Block(1);
    EXPECT_EQ(out[offsetof(SRB_ExecSCSICmd, SRB_Flags)], 0x50);
    EXPECT_EQ(out[offsetof(SRB_ExecSCSICmd, SRB_Lun)], 0);
    EXPECT_EQ(m.journal.scsiCommands[1].command.direction, sim::DataDirection::Out);
    EXPECT_THAT(m.journal.debugOutput, IsEmpty()) << "the exec path is silent";
}

TEST_F(Aspi, RejectedCommandStillCountsAsSent) {
    BYTE cdb[16] = {0xF5};  // no rule: the device fails it
    ExpectUnmatchedCommands();
    BYTE buffer[4] = {0};
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 0, cdb, buffer, 4), 1);
    EXPECT_FALSE(m.journal.scsiCommands[0].succeeded);
}

TEST_F(Aspi, MissingSendEntryPoint) {
    m.aspi.missingEntries.insert("SendASPI32Command");
    BYTE out[kAspiInquiryRecordLength];
    EXPECT_EQ(InquireASPIDevice(module, 0, 0, 0, out), 0);
    EXPECT_EQ(InquireASPIDevice(module, 1, 0, 0, out), 0);
    ASSERT_EQ(m.journal.messageBoxes.size(), 2u) << "one message per probe";
    EXPECT_EQ(m.journal.messageBoxes[0].text, "Call wnaspi32.dll fail");
    EXPECT_EQ(m.journal.messageBoxes[0].caption, "");
    EXPECT_EQ(m.journal.messageBoxes[0].type, static_cast<UINT>(MB_OK));

    BYTE cdb[16] = {0xF0};
    BYTE buffer[4];
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 0, cdb, buffer, 4), 0);
    EXPECT_EQ(m.journal.messageBoxes.size(), 2u) << "the exec path shows nothing";
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());
}

TEST_F(Aspi, NoEventSendsNothing) {
    m.eventCreationFails = true;
    BYTE out[kAspiInquiryRecordLength];
    BYTE cdb[16] = {0xF0};
    EXPECT_EQ(InquireASPIDevice(module, 0, 0, 0, out), 0);
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 0, cdb, out, 4), 0);
    EXPECT_THAT(m.journal.aspiBlocks, IsEmpty());
    EXPECT_THAT(m.journal.messageBoxes, IsEmpty());
}

TEST_F(Aspi, LibraryReloadedElsewhereInvalidatesAnOldHandle) {
    FreeLibrary(module);
    HMODULE again = LoadLibraryA("wnaspi32.dll");
    EXPECT_NE(again, module);
    EXPECT_EQ(GetProcAddress(module, "SendASPI32Command"), nullptr);
    module = again;
}

}  // namespace
