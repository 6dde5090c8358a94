// Command dispatch at a length of zero: a command without a data phase goes out on either
// transport with no buffer, while one byte less is refused before anything is sent.
#include "platform/aspi.h"
#include "sdk/transport/pass_through.h"
#include "sdk/transport/scsi_dispatch.h"
#include "tests/support/sim_test.h"

#include <cstring>
#include <ostream>
#include <memory>

namespace {

const BYTE kTestUnitReadyCdb[16] = {0x00};

struct LengthCase {
    const char* name;
    bool aspi;
    int mode;
};
void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class DispatchWithoutData : public SimTest, public ::testing::WithParamInterface<LengthCase> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        device = std::make_shared<sim::ScriptedDevice>();
        device->rules.push_back({{0x00}, false, 0, {}});
        ResetSMIDiskInfo(&info);
        if (GetParam().aspi) {
            m.aspi.installed = true;
            m.aspi.adapters.push_back({device});
            info.aspiModule = LoadLibraryA("wnaspi32.dll");
            UseASPI = 1;
        } else {
            sim::AddPlainVolume(m, 'E', DRIVE_REMOVABLE).target = device;
            ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
            CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:");
            info.deviceHandle = r.deviceHandle;
        }
    }
    void TearDown() override {
        if (info.deviceHandle != INVALID_HANDLE_VALUE) CloseHandle(info.deviceHandle);
        if (info.aspiModule != NoAspiModule()) FreeLibrary(info.aspiModule);
        ExpectNothingOpen();
    }
    std::shared_ptr<sim::ScriptedDevice> device;
    SMIDiskInfo info;
};

TEST_P(DispatchWithoutData, ZeroLengthIsSentAndNegativeIsNot) {
    EXPECT_EQ(SCSICommandProcess(&info, GetParam().mode, kTestUnitReadyCdb, NULL, 0), 1);
    ASSERT_EQ(m.journal.scsiCommands.size(), 1u);
    EXPECT_EQ(m.journal.scsiCommands[0].command.transferLength, 0u);
    EXPECT_TRUE(m.journal.scsiCommands[0].succeeded);

    BYTE buffer[4] = {0};
    EXPECT_EQ(SCSICommandProcess(&info, GetParam().mode, kTestUnitReadyCdb, buffer, -1), 0);
    EXPECT_EQ(m.journal.scsiCommands.size(), 1u) << "a negative length sends nothing";
}

INSTANTIATE_TEST_SUITE_P(Transports, DispatchWithoutData,
                         ::testing::Values(LengthCase{"pass_through_read", false, kScsiRead},
                                           LengthCase{"pass_through_write", false, kScsiWrite},
                                           LengthCase{"aspi_read", true, kScsiRead},
                                           LengthCase{"aspi_write", true, kScsiWrite}),
                         [](const ::testing::TestParamInfo<LengthCase>& i) {
                             return std::string(i.param.name);
                         });

}  // namespace
