// The controller scan on both roads, the records it writes, and the hand-out of ASPI
// records.
#include "sdk/scan/controller_scan.h"
#include "sim/fault.h"
#include "tests/support/sim_test.h"

#include <cstring>
#include <memory>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A device whose INQUIRY bytes 5-7 (record bytes 0-2) hold `flags`.
std::shared_ptr<sim::ScriptedDevice> Device(const std::string& flags,
                                            const std::string& vendor = "VENDOR",
                                            const std::string& product = "USB DISK",
                                            std::vector<BYTE> extra = {}) {
    auto device = std::make_shared<sim::ScriptedDevice>();
    device->inquiry = sim::InquiryData(vendor, product, "1100", extra, 0, true, flags);
    return device;
}

class PassThroughScan : public SimTest {
protected:
    void AddDrive(char letter, std::shared_ptr<sim::ScsiTarget> device,
                  UINT type = DRIVE_REMOVABLE) {
        sim::AddPlainVolume(m, letter, type).target = std::move(device);
    }
    std::string Letters(int count) const {
        std::string out;
        for (int i = 0; i < count; ++i) out += SMIDiskTable[i].driveLetter;
        return out;
    }
    std::string Probed() const {
        std::string out;
        for (const sim::FileOpen& open : m.journal.fileOpens) out += open.path[4];
        return out;
    }
};

TEST_F(PassThroughScan, FindsSignaturesFromDOnward) {
    AddDrive('C', Device("SMI"), DRIVE_FIXED);
    AddDrive('E', Device("SMI"));
    AddDrive('F', Device("", "SMI"));  // the vendor field is not the signature
    AddDrive('G', Device("smi"));
    // INQUIRY bytes 53-55 carry "smi": record bytes 48-50.
    std::vector<BYTE> extra(20, 0);
    std::memcpy(&extra[17], "smi", 3);
    AddDrive('H', Device("", "OTHER", "DISK", extra));
    AddDrive('J', Device("", "", "USB MEMORY BAR42"));
    AddDrive('K', Device("", "X", "USB MEMORY BAR42"));
    AddDrive('L', Device("Smi"));
    AddDrive('N', Device("SMI"), DRIVE_REMOTE);

    EXPECT_EQ(ScanSMIDisks(), 4);
    EXPECT_EQ(Letters(4), "EGHJ");
    EXPECT_EQ(UseASPI, 0);
    EXPECT_EQ(CurrentModelCode, 3) << "the lower-case vendor names model 3";
    EXPECT_EQ(Probed(), "DEFGHIJKLMOPQRSTUVWXYZ") << "A:-C: and the network drive are never opened";
    EXPECT_EQ(SMIDiskTable[0].haId, 0) << "only the letter is written on this road";
    ExpectNothingOpen();
}

TEST_F(PassThroughScan, UpperCaseVendorLeavesTheModelCode) {
    CurrentModelCode = 7;
    AddDrive('E', Device("SMI"));
    EXPECT_EQ(ScanSMIDisks(), 1);
    EXPECT_EQ(CurrentModelCode, 7);
}

TEST_F(PassThroughScan, NothingFoundLeavesTheTableAlone) {
    SMIDiskTable[0].driveLetter = 'Q';
    SMIDiskTable[0].lun = 9;
    AddDrive('E', Device("SM"));
    EXPECT_EQ(ScanSMIDisks(), 0);
    EXPECT_EQ(SMIDiskTable[0].driveLetter, 'Q');
    EXPECT_EQ(SMIDiskTable[0].lun, 9);
}

TEST_F(PassThroughScan, ShorterScanLeavesLaterRecords) {
    for (char letter : {'E', 'F', 'G'}) AddDrive(letter, Device("SMI"));
    EXPECT_EQ(ScanSMIDisks(), 3);
    m.volumes.erase('G');
    EXPECT_EQ(ScanSMIDisks(), 2);
    EXPECT_EQ(SMIDiskTable[2].driveLetter, 'G');
}

TEST_F(PassThroughScan, ASecondScanStartsFromFreshAnswers) {
    AddDrive('E', Device("SMI"));
    m.FindVolume('E')->openError = ERROR_ACCESS_DENIED;
    ScanSMIDisks();
    EXPECT_EQ(ScanAnswerOf('E'), DWORD(ERROR_ACCESS_DENIED));
    m.FindVolume('E')->driveType = DRIVE_REMOTE;  // a share mapped to E: since, never probed
    ScanSMIDisks();
    EXPECT_EQ(ScanAnswerOf('E'), 0u);
}

TEST_F(PassThroughScan, NeverRecordsMoreThanTwentyDevices) {
    for (char letter = 'D'; letter <= 'Z'; ++letter) AddDrive(letter, Device("SMI"));
    EXPECT_EQ(ScanSMIDisks(), 20);
    EXPECT_EQ(Letters(20), "DEFGHIJKLMNOPQRSTUVW");
    EXPECT_EQ(Probed(), "DEFGHIJKLMNOPQRSTUVW") << "letters after the 20th device are not probed";
    ExpectNothingOpen();
}

TEST_F(PassThroughScan, DriveThatCannotBeOpenedOrInquiredDoesNotMatch) {
    AddDrive('E', Device("SMI"));
    m.FindVolume('E')->openError = ERROR_ACCESS_DENIED;
    auto failing = Device("SMI");
    failing->failInquiry = true;
    AddDrive('F', failing);
    EXPECT_EQ(ScanSMIDisks(), 0);
    BYTE record[kInquiryRecordBuffer] = {0};
    EXPECT_EQ(InquireDrive('E', record), 0);
    ExpectNothingOpen();
}

class AspiScan : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m.version.major = 4;
        m.version.minor = 10;
        m.aspi.installed = true;
    }
    void AddAdapter(const std::string& vendor) { m.aspi.adapters.push_back({Device(vendor)}); }
    void TearDown() override {
        ExpectNothingOpen();
        SimTest::TearDown();
    }
};

TEST_F(AspiScan, RemovableOnlyDeviceGivesTwoRecordsAndOneIsHandedOut) {
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 1, 2);
    AddAdapter("Other");
    AddAdapter("SMI");
    EXPECT_EQ(ScanSMIDisks(), 2);
    EXPECT_EQ(UseASPI, 1);
    const SMIDiskInfo& unit = SMIDiskTable[0];
    EXPECT_EQ(unit.haId, 1);
    EXPECT_EQ(unit.targetId, 2);
    EXPECT_EQ(unit.lun, 1);
    EXPECT_EQ(unit.driveLetter, 'E');
    EXPECT_EQ(unit.isCdrom, 0);
    const SMIDiskInfo& closing = SMIDiskTable[1];
    EXPECT_EQ(closing.haId, 1);
    EXPECT_EQ(closing.targetId, 0);
    EXPECT_EQ(closing.lun, 0);
    EXPECT_EQ(closing.driveLetter, 'E');

    SMIDiskInfo out;
    ResetSMIDiskInfo(&out);
    EXPECT_EQ(OpenSMIDiskByIndex(0, &out), 1);
    EXPECT_EQ(out.haId, 1);
    EXPECT_EQ(out.lun, 1);
    EXPECT_EQ(out.driveLetter, 'E');
    EXPECT_EQ(out.targetId, 0);
    EXPECT_NE(GetProcAddress(out.aspiModule, "SendASPI32Command"), nullptr)
        << "the handle handed out names a loaded library";
    EXPECT_EQ(CloseSMIDisk(&out), 1);
    EXPECT_EQ(out.aspiModule, NoAspiModule());

    SMIDiskInfo refused;
    ResetSMIDiskInfo(&refused);
    EXPECT_EQ(OpenSMIDiskByIndex(1, &refused), 0) << "only K = 1 record is handed out";
    EXPECT_EQ(refused.driveLetter, 0);
    EXPECT_EQ(OpenSMIDiskByIndex(-1, &refused), 0);
}

TEST_F(AspiScan, HandOutRefusedWhenItsVersionQueryFails) {
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 1, 2);
    AddAdapter("SMI");
    ASSERT_EQ(ScanSMIDisks(), 2);
    SMIDiskInfo out;
    ResetSMIDiskInfo(&out);
    sim::PlanFaultOf("GetVersionExA", 0);  // the hand-out's road test
    EXPECT_EQ(OpenSMIDiskByIndex(0, &out), 0) << "no ASPI road: nothing is handed out";
    EXPECT_EQ(sim::InjectedFault(), "GetVersionExA");
    sim::ResetFaults();
    EXPECT_EQ(CloseSMIDisk(&out), 1);
    // Nothing stays loaded (checked on tear-down).
}

TEST_F(AspiScan, CdromAndRemovableUnitsInOrderWithoutClosingRecord) {
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0100", "CDROM", 'G', 0, 0);
    sim::AddLegacyUnit(m, "C1001", "SCSI\\SMI\\SMIMB_0101", "DiskDrive", 'H', 1, 0);
    AddAdapter("SMI");
    EXPECT_EQ(ScanSMIDisks(), 2);
    EXPECT_EQ(SMIDiskTable[0].driveLetter, 'G');
    EXPECT_EQ(SMIDiskTable[0].isCdrom, 1);
    EXPECT_EQ(SMIDiskTable[1].driveLetter, 'H');
    EXPECT_EQ(SMIDiskTable[1].isCdrom, 0);
    EXPECT_EQ(SMIDiskTable[1].lun, 1);
    EXPECT_EQ(SMIDiskTable[2].driveLetter, 0);
}

TEST_F(AspiScan, TracesAroundEachStep) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 0, 0);
    AddAdapter("SMI");
    ScanSMIDisks();
    std::vector<std::string> trace;
    for (const auto& d : m.journal.debugOutput)
        if (d.text.compare(0, 3, "===") == 0) trace.push_back(d.text);
    EXPECT_THAT(
        trace,
        ElementsAre("=== Before Parsing Disk Letter ()===", "=== After Parsing Disk Letter ()===",
                    "=== Before FindDiskLetter ()===", "===  After FindDiskLetter ()===",
                    "=== Before ReleaseHWKEYList ()===", "=== After ReleaseHWKEYList ()==="));
}

TEST_F(AspiScan, MissingLiveDeviceListGivesClosingRecordsWithoutLetters) {
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 0, 0);
    m.registry.Key(HKEY_DYN_DATA, "Config Manager\\Enum").openError = ERROR_ACCESS_DENIED;
    AddAdapter("SMI");
    AddAdapter("Other");
    AddAdapter("SMI");
    EXPECT_EQ(ScanSMIDisks(), 2);
    EXPECT_EQ(static_cast<BYTE>(SMIDiskTable[0].driveLetter), 0xFF);
    EXPECT_EQ(SMIDiskTable[0].haId, 0);
    EXPECT_EQ(static_cast<BYTE>(SMIDiskTable[1].driveLetter), 0xFF);
    EXPECT_EQ(SMIDiskTable[1].haId, 2);
    SMIDiskInfo out;
    ResetSMIDiskInfo(&out);
    EXPECT_EQ(OpenSMIDiskByIndex(0, &out), 0) << "K = 0: nothing is handed out";
}

TEST_F(AspiScan, SignatureRulesOnThisRoad) {
    CurrentModelCode = 5;
    std::vector<BYTE> extra(20, 0);
    std::memcpy(&extra[17], "smi", 3);  // record bytes 48-50 do not exist on this road
    m.aspi.adapters.push_back({Device("", "OTHER", "DISK", extra)});
    m.aspi.adapters.push_back({Device("smi")});
    m.aspi.adapters.push_back({Device("", "", "USB MEMORY BAR42")});
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 0, 0);
    EXPECT_EQ(ScanSMIDisks(), 4);
    EXPECT_EQ(SMIDiskTable[0].haId, 1);
    EXPECT_EQ(SMIDiskTable[2].haId, 2);
    EXPECT_EQ(CurrentModelCode, 5) << "the ASPI scan leaves the model code alone";

    SMIDiskInfo out;
    ResetSMIDiskInfo(&out);
    ASSERT_EQ(OpenSMIDiskByIndex(0, &out), 1);
    EXPECT_EQ(CurrentModelCode, 3) << "the hand-out sets it for a lower-case vendor";
    CloseSMIDisk(&out);
}

TEST_F(AspiScan, LibraryOrEntryPointMissing) {
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 0, 0);
    AddAdapter("SMI");
    m.aspi.installed = false;
    EXPECT_EQ(ScanSMIDisks(), 0);
    SMIDiskInfo out;
    ResetSMIDiskInfo(&out);
    EXPECT_EQ(OpenSMIDiskByIndex(0, &out), 0);
    ExpectNothingOpen();

    m.aspi.installed = true;
    m.aspi.missingEntries.insert("GetASPI32SupportInfo");
    EXPECT_EQ(ScanSMIDisks(), 0);
    EXPECT_EQ(OpenSMIDiskByIndex(0, &out), 0);
    ASSERT_EQ(m.journal.messageBoxes.size(), 2u);
    EXPECT_EQ(m.journal.messageBoxes[0].text, "Call wnaspi32.dll fail");
    EXPECT_THAT(m.journal.aspiBlocks, IsEmpty());
}

TEST_F(AspiScan, ManyAdaptersNeverOverrunTheTable) {
    for (int i = 0; i < 30; ++i) AddAdapter("SMI");
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 0, 0);
    EXPECT_EQ(ScanSMIDisks(), 20);
    EXPECT_EQ(SMIDiskTable[19].haId, 9) << "two records per adapter: adapters 0-9";
    EXPECT_EQ(m.journal.aspiBlocks.size(), 10u) << "adapters after the full table are not probed";
}

}  // namespace
