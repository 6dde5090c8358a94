// The Windows 9x road at its edges: a hardware key that fills its buffer without a
// terminator, keys that differ just inside and just outside the two characters that tell a
// device's units apart, and an ASPI manager with more host adapters than four bits count.
#include "sdk/device/device_table.h"
#include "sdk/scan/controller_scan.h"
#include "sdk/scan/hardware_keys.h"
#include "tests/support/sim_test.h"

#include <memory>
#include <ostream>
#include <string>

namespace {

class ScanLimits : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m.version.major = 4;
        m.version.minor = 10;
    }
    void TearDown() override { ExpectNothingOpen(); }
};

// A registry string exactly as long as the buffer, with no terminator: the read keeps all
// but its last byte, so the key names the unit whose name is that much.
TEST_F(ScanLimits, HardwareKeyFillingTheBufferIsCutToItsSizeLessOne) {
    std::string key = "SCSI\\SMI\\SMIMB_";
    key.append(kHardwareKeyChars - 1 - key.size(), '7');
    ASSERT_EQ(key.size(), static_cast<size_t>(kHardwareKeyChars - 1));
    sim::AddLegacyUnit(m, "C1000", key, "DiskDrive", 'K', 0, 0);
    std::string stored = key + "9";  // one byte more: fills the buffer, no terminator
    m.registry.SetRaw(HKEY_DYN_DATA, "Config Manager\\Enum\\C1000", "HardWareKey", REG_SZ,
                      std::vector<BYTE>(stored.begin(), stored.end()));

    char letter = 0;
    EXPECT_EQ(FindDiskLetter(&letter, 0), 1);
    EXPECT_EQ(letter, 'K');
}

struct PairCase {
    const char* name;
    const char* key;
    const char* entryKey;
    bool pairs;
};
void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

class HardwareKeyPairing : public ::testing::TestWithParam<PairCase> {};

TEST_P(HardwareKeyPairing, OnlyTheLastTwoCharactersMayDiffer) {
    EXPECT_EQ(HardwareKeysPair(GetParam().key, GetParam().entryKey, false), GetParam().pairs);
}

INSTANTIATE_TEST_SUITE_P(
    Windows98, HardwareKeyPairing,
    ::testing::Values(
        PairCase{"same", "SCSI\\SMI\\SMIMB_7F01", "SCSI\\SMI\\SMIMB_7F01", true},
        PairCase{"last_differs", "SCSI\\SMI\\SMIMB_7F01", "SCSI\\SMI\\SMIMB_7F00", true},
        PairCase{"second_to_last_differs", "SCSI\\SMI\\SMIMB_7F01", "SCSI\\SMI\\SMIMB_7F11", true},
        PairCase{"third_to_last_differs", "SCSI\\SMI\\SMIMB_7F01", "SCSI\\SMI\\SMIMB_7E01", false}),
    [](const ::testing::TestParamInfo<PairCase>& i) { return std::string(i.param.name); });

// The support answer counts host adapters in its whole low byte: an SMI device behind the
// seventeenth adapter, or behind the last of 255, is found.
class AspiAdapterCount : public ScanLimits, public ::testing::WithParamInterface<int> {};

TEST_P(AspiAdapterCount, SmiDeviceOnTheLastAdapterIsFound) {
    const int adapters = GetParam();
    m.aspi.installed = true;
    for (int i = 0; i < adapters; ++i) {
        auto device = std::make_shared<sim::ScriptedDevice>();
        bool last = i == adapters - 1;
        // SMI controllers put their signature in INQUIRY bytes 5 to 7.
        device->inquiry =
            sim::InquiryData("VENDOR", "USB DISK", "1100", {}, 0, true, last ? "SMI" : "");
        m.aspi.adapters.push_back({device});
    }
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 0, 0);

    EXPECT_GT(ScanSMIDisks(), 0);
    EXPECT_EQ(SMIDiskTable[0].haId, adapters - 1);
    EXPECT_EQ(SMIDiskTable[0].driveLetter, 'E');
    EXPECT_EQ(m.journal.aspiBlocks.size(), static_cast<size_t>(adapters));
}

INSTANTIATE_TEST_SUITE_P(Adapters, AspiAdapterCount, ::testing::Values(17, 255));

}  // namespace
