// Controller identification on the ASPI road: the two page reads through the command
// dispatch, the name rules of the early page, and the confirmation read that goes through
// the pass-through with the record's device handle.
#include "sdk/transport/pass_through.h"
#include "tests/controller/identify_fixture.h"

#include <string>

using namespace identify_test;

namespace {

class AspiIdentify : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        device = std::make_shared<ScriptedController>();
        m.aspi.installed = true;
        m.aspi.adapters.push_back({device});
        ResetSMIDiskInfo(&info);
        info.aspiModule = LoadLibraryA("wnaspi32.dll");
        UseASPI = 1;
    }
    void TearDown() override {
        if (info.deviceHandle != INVALID_HANDLE_VALUE) CloseHandle(info.deviceHandle);
        FreeLibrary(info.aspiModule);
        ExpectNothingOpen();
        EXPECT_TRUE(device->unmatched.empty()) << "a command the test did not expect was sent";
    }
    int AspiCommands() const {
        int n = 0;
        for (const auto& c : m.journal.scsiCommands) n += c.transport == "aspi";
        return n;
    }

    std::shared_ptr<ScriptedController> device;
    SMIDiskInfo info;
};

// A named current-form page settles the ASPI result at once.
struct NamedCase {
    const char* mark;
    const char* name;
    int code;
    int result;
    int descriptorOffset;
    int ctrlFlag;
};
class AspiNamed : public AspiIdentify, public ::testing::WithParamInterface<NamedCase> {};

TEST_P(AspiNamed, CurrentPageDecides) {
    const NamedCase& c = GetParam();
    device->On(kStageOnePage, NamedPage(c.name, c.mark));
    info.ctrlFlag = 1;
    info.descriptorOffset = 99;
    EXPECT_EQ(IdentifyController(&info), c.result) << c.name;
    EXPECT_EQ(CurrentModelCode, c.code) << c.name;
    EXPECT_EQ(info.descriptorOffset, c.descriptorOffset) << c.name;
    EXPECT_EQ(info.secondOffset, c.descriptorOffset ? 58 : 0) << c.name;
    EXPECT_EQ(info.ctrlFlag, c.ctrlFlag) << c.name;
    EXPECT_EQ(AspiCommands(), 1) << "no early page read";
    EXPECT_EQ(DebugSwitchLoaded, 0u) << "this branch does not load the trace switch";
}
INSTANTIATE_TEST_SUITE_P(
    Identify, AspiNamed,
    ::testing::Values(NamedCase{"SM", "3254AC", 10, 1, 32, 0},
                      NamedCase{"S-", "3255", 10, 1, 32, 0},
                      NamedCase{"-M", "3255ENAA", 10, 1, 32, 0},
                      NamedCase{"SM", "3252D", 6, 0, 0, 1}, NamedCase{"SM", "3252g", 6, 0, 0, 1},
                      NamedCase{"SM", "3252G", 6, 0, 0, 1}, NamedCase{"SM", "3252d", 6, 0, 0, 1},
                      NamedCase{"SM", "3252E", 0, 0, 0, 0}, NamedCase{"SM", "3260AA", 0, 0, 0, 0},
                      NamedCase{"SM", "", 0, 0, 0, 0}));

// The early-form page's names: the order of the rules and whole-text versus prefix.
struct EarlyCase {
    const char* name;
    int code;
};
class AspiEarly : public AspiIdentify, public ::testing::WithParamInterface<EarlyCase> {};

TEST_P(AspiEarly, NameRules) {
    device->On(kStageOnePage, NamedPage("3255AB", "--"));
    device->On(kStageTwoPage, NamedPage(GetParam().name, "--"));
    EXPECT_EQ(IdentifyControllerAspi(&info), 1);
    EXPECT_EQ(CurrentModelCode, GetParam().code) << GetParam().name;
    EXPECT_EQ(info.descriptorOffset, 32);
    EXPECT_EQ(info.secondOffset, 58);
    EXPECT_EQ(info.ctrlFlag, 0);
    EXPECT_EQ(info.modelCode, 0) << "only the pass-through road stores the record's code";
    EXPECT_EQ(AspiCommands(), 2);
    EXPECT_EQ(DebugSwitchLoaded, 1u);
}
INSTANTIATE_TEST_SUITE_P(
    Identify, AspiEarly,
    ::testing::Values(EarlyCase{"3255AB", 17}, EarlyCase{"3255ABX", 18}, EarlyCase{"3255ACX", 18},
                      EarlyCase{"3255AC", 18}, EarlyCase{"3257ENLT", 23},
                      EarlyCase{"3257ENLTBA", 23}, EarlyCase{"3257ENAA", 22},
                      EarlyCase{"3257ENxx", 22}, EarlyCase{"3257AA", 19}, EarlyCase{"3260AA", 26},
                      EarlyCase{"3260AB", 27}, EarlyCase{"3260AD", 28}, EarlyCase{"3255ENA1", 20},
                      EarlyCase{"3261AA", 29}, EarlyCase{"3261AB", 18}, EarlyCase{"3263AA", 31},
                      EarlyCase{"3263AB", 32}, EarlyCase{"3267AA", 33}, EarlyCase{"3267AB", 34},
                      EarlyCase{"3267AC", 18}, EarlyCase{"3259AB", 18}, EarlyCase{"", 18}));

// The confirmation read goes through the pass-through with the record's device handle,
// which the ASPI road never opens: it fails and the preliminary code stays.
TEST_F(AspiIdentify, ConfirmationFailsWithoutADeviceHandle) {
    device->On(kStageOnePage, NamedPage("", "--"));
    for (const char* name : {"3255ENA1", "3257ENLTBA", "3261AA"}) {
        device->rules.resize(1);
        device->On(kStageTwoPage, NamedPage(name, "--"));
        device->On(kConfirmationPage, BytesWith(1536, 48, name));
        m.journal = {};
        EXPECT_EQ(IdentifyControllerAspi(&info), 1);
        EXPECT_NE(CurrentModelCode, 21);
        EXPECT_NE(CurrentModelCode, 24);
        EXPECT_NE(CurrentModelCode, 30);
        // Six attempts that never reach a device, 100 ms apart.
        EXPECT_EQ(m.journal.sleeps.size(), 6u) << name;
        EXPECT_EQ(AspiCommands(), 2) << name;
        EXPECT_EQ(m.journal.scsiCommands.size(), 2u) << name;
    }
    EXPECT_EQ(CurrentModelCode, 29);
}

// With a device handle the same read confirms the revision: the rule itself is sound.
struct ConfirmCase {
    const char* name;
    int at;
    const char* revision;
    int code;
};
class AspiConfirm : public AspiIdentify, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(AspiConfirm, ThroughAnOpenHandle) {
    const ConfirmCase& c = GetParam();
    device->On(kStageOnePage, NamedPage("", "--"));
    device->On(kStageTwoPage, NamedPage(c.name, "--"));
    auto volume = std::make_shared<ScriptedController>();
    volume->On(kConfirmationPage, BytesWith(1536, c.at, c.revision));
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.FindVolume('E')->target = volume;
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:");
    info.deviceHandle = r.deviceHandle;
    EXPECT_EQ(IdentifyControllerAspi(&info), 1);
    EXPECT_EQ(CurrentModelCode, c.code) << c.name << " " << c.revision;
    ASSERT_EQ(m.journal.scsiCommands.size(), 3u);
    EXPECT_EQ(m.journal.scsiCommands[2].command.timeoutSeconds, 300u);
}
INSTANTIATE_TEST_SUITE_P(Identify, AspiConfirm,
                         ::testing::Values(ConfirmCase{"3255ENAA", 48, "3255ENA1", 21},
                                           ConfirmCase{"3255ENAA", 48, "3255ENA2", 20},
                                           ConfirmCase{"3257ENLT", 48, "3257ENLTBA", 24},
                                           ConfirmCase{"3257ENLT", 48, "3257ENLTBB", 23},
                                           ConfirmCase{"3261AA", 79, "3261AB", 30},
                                           ConfirmCase{"3261AA", 48, "3261AB", 29}));

TEST_F(AspiIdentify, SilentDeviceIsReportedAsSM3255AC) {
    device->Refuse("");
    EXPECT_EQ(IdentifyController(&info), 1);
    EXPECT_EQ(CurrentModelCode, 18);
    EXPECT_EQ(info.descriptorOffset, 32);
    EXPECT_EQ(info.secondOffset, 58);
}

}  // namespace
