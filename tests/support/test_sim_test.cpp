// The fixture's own checks: a scripted device that received a command none of its rules
// matched fails the test, on either road, unless the test expects it.
#include "sdk/transport/aspi_transport.h"
#include "sdk/transport/pass_through.h"
#include "tests/support/sim_test.h"

#include <gtest/gtest-spi.h>

#include <cstring>
#include <memory>

namespace {

const BYTE kUnscripted[16] = {0xF0, 0x2A, 0x01};

class UnmatchedTraffic : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        device = std::make_shared<sim::ScriptedDevice>();
        device->name = "probe";
        device->rules.push_back({{0xF0, 0x2B}, false, 0, {0x01}});
    }
    // One read over the pass-through of volume E:, as the transport sends it.
    int ReadOverPassThrough(const BYTE* cdb) {
        sim::AddPlainVolume(m, 'E', DRIVE_REMOVABLE).target = device;
        ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:");
        BYTE buffer[2] = {0};
        int result = CSMISCSICmd::SCSIPassThroughRead(&r, buffer, sizeof buffer, cdb);
        CloseHandle(r.deviceHandle);
        return result;
    }
    std::shared_ptr<sim::ScriptedDevice> device;
};

TEST_F(UnmatchedTraffic, MatchedCommandsPassTheCheck) {
    const BYTE scripted[16] = {0xF0, 0x2B};
    EXPECT_EQ(ReadOverPassThrough(scripted), 1);
    ExpectNoUnmatchedCommands();
    ExpectNothingOpen();
}

TEST_F(UnmatchedTraffic, PassThroughCommandNoRuleMatchesFailsTheTest) {
    EXPECT_EQ(ReadOverPassThrough(kUnscripted), 0);
    EXPECT_NONFATAL_FAILURE(ExpectNoUnmatchedCommands(),
                            "probe: F0 2A 01 00 00 00 00 00 00 00 00 00 00 00 00 00");
    ExpectUnmatchedCommands();
    ExpectNothingOpen();
}

TEST_F(UnmatchedTraffic, AspiCommandNoRuleMatchesFailsTheTest) {
    m.aspi.installed = true;
    m.aspi.adapters.push_back({device});
    HMODULE module = LoadLibraryA("wnaspi32.dll");
    BYTE buffer[2] = {0};
    BYTE cdb[16];
    std::memcpy(cdb, kUnscripted, sizeof cdb);
    EXPECT_EQ(ASPIExecSCSICommand(module, kAspiDataIn, 0, cdb, buffer, sizeof buffer), 1);
    FreeLibrary(module);
    EXPECT_NONFATAL_FAILURE(ExpectNoUnmatchedCommands(), "probe: F0 2A 01");
    ExpectUnmatchedCommands();
    ExpectNothingOpen();
}

}  // namespace
