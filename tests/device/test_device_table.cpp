// The device record and the process-wide device state.
#include "sdk/device/device_table.h"
#include "tests/support/sim_test.h"

#include <cstring>

namespace {

TEST(DeviceTable, StartsZero) {
    // Nothing in this test binary touches the table before this test's own process state:
    // the values are those of program start.
    for (const SMIDiskInfo& record : SMIDiskTable) {
        EXPECT_EQ(record.driveLetter, 0);
        EXPECT_EQ(record.aspiModule, nullptr);
        EXPECT_EQ(record.deviceHandle, nullptr);
        EXPECT_EQ(record.lun, 0);
    }
    EXPECT_EQ(UseASPI, 0);
    EXPECT_EQ(CurrentModelCode, 0);
    EXPECT_EQ(sizeof SMIDiskTable / sizeof SMIDiskTable[0], 20u);
}

TEST(DeviceTable, ResetRecordHasNoHandles) {
    SMIDiskInfo info;
    std::memset(&info, 0x5A, sizeof info);
    ResetSMIDiskInfo(&info);
    EXPECT_EQ(info.aspiModule, NoAspiModule());
    EXPECT_EQ(info.vxdHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(info.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(info.driveLetter, 0);
    EXPECT_EQ(info.haId, 0);
    EXPECT_EQ(info.modelCode, 0);
    EXPECT_EQ(info.secondOffset, 0);
}

}  // namespace
