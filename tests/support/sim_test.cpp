#include "tests/support/sim_test.h"

#include <cstring>

#include "app/startup.h"
#include "sdk/device/device_table.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/scsi_dispatch.h"

void FreshProcess() {
    sim::Reset();
    DebugSwitchLoaded = 0;
    DebugSwitchOn = 0;
    KeepDiskOpen = 0;
    ResetDiskLockState();
    ScsiRequestKind = 0;
    AppInstance = NULL;
    AppCommandLine = NULL;
    std::memset(SMIDiskTable, 0, sizeof SMIDiskTable);
    UseASPI = 0;
    CurrentModelCode = 0;
}

void ExpectNothingOpen() {
    sim::Leaks leaks = sim::machine().OpenObjects();
    EXPECT_EQ(leaks.handles, 0) << "handles left open";
    EXPECT_EQ(leaks.deviceInfoSets, 0) << "device-information sets left open";
    EXPECT_EQ(leaks.registryKeys, 0) << "registry keys left open";
    EXPECT_EQ(leaks.libraries, 0) << "libraries left loaded";
    EXPECT_EQ(leaks.allocations, 0) << "allocations not freed";
}

std::vector<std::string> JournalLines(const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& line : sim::machine().journal.lines)
        if (line.compare(0, kind.size() + 1, kind + " ") == 0) out.push_back(line);
    return out;
}
