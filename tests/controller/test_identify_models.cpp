// Identification against the emulated controllers: every profile, one for each row of the
// model table and those the roads need, is identified as its model on the pass-through
// road, and gets the ASPI strategy's own, coarser answer on the ASPI road; no controller
// refuses a command either road sends.
#include "sdk/controller/model_table.h"
#include "tests/support/controller_test.h"
#include "tests/controller/identify_fixture.h"

#include <cctype>
#include <map>
#include <ostream>
#include <string>

namespace {

class EveryModel : public SimTest, public ::testing::WithParamInterface<sim::ControllerProfile> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        controller = sim::MakeController(GetParam());
        ResetSMIDiskInfo(&info);
    }
    std::shared_ptr<sim::SmiController> controller;
    SMIDiskInfo info;
};

TEST_P(EveryModel, PassThroughSettlesOnTheModel) {
    AttachController(m, 'E', controller);
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    ASSERT_EQ(CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:"), 1);
    info.deviceHandle = r.deviceHandle;

    EXPECT_EQ(IdentifyControllerPassThrough(&info), 1);
    EXPECT_EQ(CurrentModelCode, GetParam().modelCode);
    EXPECT_EQ(info.modelCode, GetParam().modelCode);
    EXPECT_EQ(info.descriptorOffset, GetParam().modelCode > 10 ? 32 : 0);

    // Loaded code keeps running: a second identification loads nothing.
    size_t blocks = controller->codeBlocks.size();
    EXPECT_EQ(IdentifyControllerPassThrough(&info), 1);
    EXPECT_EQ(CurrentModelCode, GetParam().modelCode);
    EXPECT_EQ(controller->codeBlocks.size(), blocks);
    EXPECT_TRUE(blocks == 0 || blocks == 2) << "blocks go in pairs";

    CloseHandle(info.deviceHandle);
    ExpectNothingRefused();
    ExpectNothingOpen();
}

// What the ASPI strategy answers for each profile: 10 for a named SM3254 or SM3255, 6 for
// a named SM3252D or SM3252G, 0 for any other named page, and by the early page's name
// rules where the current-form page names nothing, the confirmation never succeeding.
const std::map<std::string, int> kAspiCodes = {
    {"SM325AC/SM321U", 18},
    {"SM3252A", 18},
    {"SM3252B", 18},
    {"SM3252C", 18},
    {"SM321BB", 18},
    {"SM3211BC1", 18},
    {"SM3211BC", 18},
    {"SM334AC", 18},
    {"SM3254AC", 10},
    {"SM3254AD", 10},
    {"SM3254AE", 10},
    {"SM3255AA", 10},
    {"SM3255AB", 10},
    {"SM3255AC", 10},
    {"SM3255ENAA", 10},
    {"SM3257AA", 0},
    {"SM3257ENAA", 0},
    {"SM3257ENLT", 0},
    {"SM3257ENBA", 0},
    {"SM3257ENBB", 23},
    {"SM3255ENA1", 20},
    {"SM3260AA", 0},
    {"SM3260AB", 0},
    {"SM3260AD", 0},
    {"SM3261AA", 0},
    {"SM3261AB", 29},
    {"SM3263AA", 0},
    {"SM3263AB", 0},
    {"SM3267AA", 0},
    {"SM3267AB", 0},
    {"SM3267AC", 0},
    {"SM3267AE", 0},
    {"SM3269AA", 0},
    {"SM3269AB", 0},
    {"SM3268AA", 0},
    {"SM3268AB", 0},
    {"SM3280AA", 0},
    {"SM3280AB", 0},
    {"SM3280BA", 0},
    {"SM3280BB", 18},
    {"SM3282BB", 18},
    {"SM3281AB", 0},
    {"SM3281BA", 0},
    {"SM3281BB", 0},
    {"SM3270AA", 0},
    {"SM3270AB", 0},
    {"SM3270AC", 0},
    {"SM3259AA", 0},
    {"SM3259AB", 18},
    {"SM3271AA", 0},
    {"SM3271AB", 0},
    {"SM3271AC", 0},
    {"SM3271AD", 0},
    {"SM3271AC named 3270AC", 18},
    {"SM3271AD named 3270AC", 18},
    {"SM3252D with 14 76", 6},
    {"SM3252D", 6},
    {"SM3254AB", 10},
    {"SM325AB", 0},
};

TEST_P(EveryModel, AspiStrategyGivesItsOwnCodes) {
    m.aspi.installed = true;
    m.aspi.adapters.push_back({controller});
    info.aspiModule = LoadLibraryA("wnaspi32.dll");
    UseASPI = 1;

    auto expected = kAspiCodes.find(GetParam().name);
    ASSERT_NE(expected, kAspiCodes.end()) << "no ASPI answer written down for this profile";
    int result = IdentifyController(&info);
    EXPECT_EQ(CurrentModelCode, expected->second);
    // Only a named SM3252D and a named page of any other model report no model.
    EXPECT_EQ(result, expected->second == 6 || expected->second == 0 ? 0 : 1);
    EXPECT_EQ(info.ctrlFlag, expected->second == 6 ? 1 : 0);
    EXPECT_EQ(info.modelCode, 0);
    // Nothing but the identification pages went to the controller.
    for (const auto& sent : m.journal.scsiCommands) EXPECT_EQ(sent.transport, "aspi");
    EXPECT_LE(m.journal.scsiCommands.size(), 2u);
    EXPECT_TRUE(controller->codeBlocks.empty());

    FreeLibrary(info.aspiModule);
    ExpectNothingRefused();
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(Identify, EveryModel,
                         ::testing::ValuesIn(sim::BuiltInControllerProfiles()), ProfileTestName);

TEST(EveryModel, EachRowHasAProfile) {
    for (const ControllerModel& row : ControllerModelTable) {
        sim::ControllerProfile profile;
        EXPECT_TRUE(sim::FindControllerProfile(row.fullName, &profile)) << row.fullName;
        EXPECT_EQ(profile.modelCode, row.code) << row.fullName;
    }
}

}  // namespace
