// The USB strings read end to end from every built-in controller profile: the volume
// locked as the administrator list locks it, the strings, the unlock; nothing the
// controller refuses.
#include "sdk/scan/disk_lock.h"
#include "sdk/controller/controller_code.h"
#include "sdk/controller/device_strings.h"
#include "sdk/controller/info_block.h"
#include "sim/controller_profiles.h"
#include "sim/smi_controller.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"

#include <string>

using ::testing::IsEmpty;

namespace {

std::string Refusals() {
    std::string text;
    for (const sim::RefusedCommand& r : sim::RefusedCommands()) text += r.reason + "\n";
    return text;
}

class ProfileStrings : public SimTest,
                       public ::testing::WithParamInterface<sim::ControllerProfile> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddUsbFlashDrive(m, 'E', 1);
        m.FindVolume('E')->target = sim::MakeController(GetParam());
        ResetSMIDiskInfo(&info);
        info.driveLetter = 'E';
        info.modelCode = GetParam().modelCode;
    }
    SMIDiskInfo info;
    char vendor[kDeviceStringSize] = {0};
    char product[kDeviceStringSize] = {0};
};

TEST_P(ProfileStrings, ReadThroughThePassThrough) {
    if (GetParam().name.compare(0, 7, "SM3252D") == 0 && SM3252DCodeImage() == NULL)
        GTEST_SKIP() << "an SM3252D is identified only with its code image loaded";
    // As the administrator list reads them: lock without the volume lock, strings, unlock.
    ASSERT_EQ(LockSMIDisk(&info, 0), 1);
    EXPECT_EQ(GetDeviceStrings(&info, vendor, product), 1);
    EXPECT_EQ(std::string(vendor), GetParam().manufacturer);
    EXPECT_EQ(std::string(product), GetParam().product);
    EXPECT_EQ(UnLockSMIDisk(&info), 1);
    EXPECT_EQ(Refusals(), "");
    ExpectNothingOpen();
}

TEST_P(ProfileStrings, NoHandleOnTheAspiRoad) {
    UseASPI = 1;
    EXPECT_EQ(GetDeviceStrings(&info, vendor, product), 0);
    EXPECT_STREQ(vendor, "");
    EXPECT_STREQ(product, "");
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, ProfileStrings,
                         ::testing::ValuesIn(sim::BuiltInControllerProfiles()), ProfileTestName);

}  // namespace
