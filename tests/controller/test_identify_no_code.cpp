// Identification in a build that carries no controller code: the preload still reads the
// register, but where it would send a block it fails at once, with no transfer, no retry
// and no pause; the SM3252D road ends unidentified without sending anything.
#include "sdk/controller/controller_code.h"
#include "tests/controller/identify_fixture.h"

using namespace identify_test;

namespace {

class NoCode : public PassThroughIdentify {
protected:
    void SetUp() override {
        PassThroughIdentify::SetUp();
        for (const auto& group : LinkedControllerCode().blocks)
            if (group[0] || group[1]) GTEST_SKIP() << "this build carries controller code";
        if (LinkedControllerCode().image) GTEST_SKIP() << "this build carries controller code";
    }
};

TEST_F(NoCode, PreloadSendsNothing) {
    device->On(kCodeState, {0x00, 0x00});
    ScsiRequest r = Request();
    for (int code : {50, 51, 55, 56, 57}) {
        m.journal = {};
        EXPECT_EQ(PreloadControllerCode(&r, code), 0) << code;
        EXPECT_EQ(SentCount(kCodeState), 1) << code;
        EXPECT_EQ(m.journal.scsiCommands.size(), 1u) << code;
        EXPECT_TRUE(m.journal.sleeps.empty()) << code;
    }
    // The models that take no blocks keep their pause.
    m.journal = {};
    EXPECT_EQ(PreloadControllerCode(&r, 49), 1);
    ASSERT_EQ(m.journal.sleeps.size(), 1u);
    EXPECT_EQ(m.journal.sleeps[0].ms, 1000u);
}

TEST_F(NoCode, DetectionGoesOnAfterAFailedPreload) {
    device->inquiry = SmiInquiry(false);
    device->On(kModelName, BytesWith(8, 0, "SM3271AD"));
    device->On(kCodeState, {0x00, 0x00});
    EXPECT_EQ(IdentifyControllerPassThrough(&info), 1);
    EXPECT_EQ(CurrentModelCode, 57);
    EXPECT_EQ(SentCount("F1"), 0);
}

TEST_F(NoCode, SM3252DIsNotIdentified) {
    device->On(kStageOnePage, NamedPage("3252D"));
    EXPECT_EQ(IdentifyControllerPassThrough(&info), 0);
    EXPECT_EQ(CurrentModelCode, 65535);
    EXPECT_EQ(info.descriptorOffset, 32);
    // Only INQUIRY and the stage-one page: no image, no page 22, no stage two.
    EXPECT_EQ(m.journal.scsiCommands.size(), 2u);
    EXPECT_EQ(SentCount("F1"), 0);
    EXPECT_TRUE(m.journal.sleeps.empty());
}

}  // namespace
