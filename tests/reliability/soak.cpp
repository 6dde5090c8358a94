// The SDK soaked in one process: thousands of drive-list requests on each road, of
// lock / strings / unlock cycles and of the blocker lookups a wait makes. Each cycle must
// give the first cycle's answer and leave the machine as it found it; handles, registry
// keys, libraries and allocations stay flat, and so does the heap where it can be read.
//
// The simulated machine's journal and fault record grow with every call by design; they
// are the simulation's, not the program's, and are cleared between cycles.
#include "app/veto_owner.h"
#include "sdk/device/device_table.h"
#include "sdk/discovery/sysinfo.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/controller/device_strings.h"
#include "sim/code_pages.h"
#include "sim/event_log.h"
#include "sim/fault.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"
#include "tools/scenario.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define KORVANTA_HEAP_READABLE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANTA_HEAP_READABLE 0
#endif
#endif
#ifndef KORVANTA_HEAP_READABLE
#define KORVANTA_HEAP_READABLE 1
#endif

namespace {

const int kCycles = 10000;
// Cycles run before the heap is first read: the C++ runtime and the test framework settle
// their own buffers in the first ones.
const int kWarmUp = 100;
// What the heap may grow by over the soak without counting as a leak: a leak of even one
// byte per cycle would exceed it.
const size_t kHeapSlack = 4096;

// Blocks in use, the large ones the allocator maps on their own included.
size_t HeapInUse() { return mallinfo2().uordblks + mallinfo2().hblkhd; }

class Soak : public SimTest {
protected:
    void Describe(const char* scenarioText) {
        scenario::Apply(nlohmann::json::parse(scenarioText), m);
    }

    // Runs `cycle` kCycles times. Every cycle must return the first cycle's answer and leave
    // nothing open; the heap must not grow past the slack.
    void Run(const char* what, const std::function<std::string()>& cycle) {
        std::string first;
        size_t heapAfterWarmUp = 0;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCycles; ++i) {
            std::string answer = cycle();
            if (i == 0) first = answer;
            ASSERT_EQ(answer, first) << what << ", cycle " << i;
            sim::Leaks open = m.OpenObjects();
            ASSERT_EQ(open.Total(), 0)
                << what << ", cycle " << i << ": handles " << open.handles << ", sets "
                << open.deviceInfoSets << ", keys " << open.registryKeys << ", libraries "
                << open.libraries << ", allocations " << open.allocations;
            ASSERT_TRUE(sim::RefusedCommands().empty()) << what << ", cycle " << i;
            m.journal = sim::Journal();
            sim::ResetFaults();
            if (i == kWarmUp) heapAfterWarmUp = HeapInUse();
        }
        double perCycleUs =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count() /
            kCycles;
        std::printf("soak: %-44s %d cycles, %8.1f us per cycle, answer \"%s\"\n", what, kCycles,
                    perCycleUs, first.c_str());
        RecordProperty("microsecondsPerCycle", static_cast<int>(perCycleUs + 0.5));
        if (KORVANTA_HEAP_READABLE) {
            size_t heapAtEnd = HeapInUse();
            EXPECT_LE(heapAtEnd, heapAfterWarmUp + kHeapSlack)
                << what << ": the heap grew from " << heapAfterWarmUp << " to " << heapAtEnd;
        }
    }

    static std::string Letters(const char* vendor, const char* product) {
        char letters[kMaxSysInfoLetters + 1] = {0};
        int count = GetSysInfo(letters, vendor, product);
        if (count < 0 || count > kMaxSysInfoLetters) return "bad count " + std::to_string(count);
        return std::string(letters, static_cast<size_t>(count));
    }
};

const char* const kUserRoad = R"({
  "usbFlashDrives": [{"letter": "E", "diskNumber": 1}, {"letter": "G", "diskNumber": 2},
                     {"letter": "H", "diskNumber": 3, "media": false}],
  "fixedDisks": [{"letter": "C", "diskNumber": 0}]
})";

const char* const kPassThroughRoad = R"({
  "account": {"userName": "admin", "privilege": "admin"},
  "usbFlashDrives": [{"letter": "E", "diskNumber": 1}, {"letter": "F", "diskNumber": 2}],
  "volumes": [
    {"letter": "E", "scsiTarget": {"controller": "SM3271AD", "manufacturer": "Kestrel Labs",
                                   "product": "Pocket Drive"}},
    {"letter": "F", "scsiTarget": {"controller": "SM3281BB", "manufacturer": "Generic",
                                   "product": "Pocket Drive"}}
  ]
})";

const char* const kAspiRoad = R"({
  "windows": {"major": 4, "minor": 10, "build": 2222, "platform": "9x"},
  "account": {"userName": "admin", "privilege": "admin"},
  "legacyUnits": [{"node": "C29D6E41", "hardwareKey": "SCSI\\SMI_USB_DISK\\SMIMB_7F01",
                   "class": "DiskDrive", "letter": "H", "lun": 1}],
  "aspi": {"installed": true, "adapters": [{"scsiTarget": {"controller": "SM3252C"}}]},
  "vwin32": {"present": true}
})";

TEST_F(Soak, UserModeDriveList) {
    Describe(kUserRoad);
    Run("drive list, ordinary account", [] { return Letters(NULL, NULL); });
}

TEST_F(Soak, PassThroughDriveListWithFilter) {
    Describe(kPassThroughRoad);
    // The filter makes every request lock, identify and read the strings of each device.
    Run("drive list, administrator, pass-through", [] { return Letters("Kestrel Labs", NULL); });
}

TEST_F(Soak, AspiDriveList) {
    Describe(kAspiRoad);
    Run("drive list, administrator, ASPI", [] { return Letters(NULL, NULL); });
}

// Windows ME names the unit's hardware key differently; the registry walk is its own road.
const char* const kAspiRoadMe = R"({
  "windows": {"major": 4, "minor": 90, "build": 3000, "platform": "9x"},
  "account": {"userName": "admin", "privilege": "admin"},
  "legacyUnits": [{"node": "C29D6E41", "hardwareKey": "SCSI\\SMI\\USBSTOR&DISK&0123456789&01",
                   "class": "DiskDrive", "letter": "H", "lun": 1}],
  "aspi": {"installed": true, "adapters": [{"scsiTarget": {"controller": "SM3252C"}}]},
  "vwin32": {"present": true}
})";

TEST_F(Soak, AspiDriveListWindowsMe) {
    Describe(kAspiRoadMe);
    Run("drive list, administrator, ASPI, Windows ME", [] { return Letters(NULL, NULL); });
}

// A wait looks the blocker up once a second, up to ten minutes long.
TEST_F(Soak, BlockerLookup) {
    const char* const device = "USB\\VID_1234&PID_5678\\00000002G";
    m.eventLog.system.push_back(
        sim::RemovalVetoRecord(4242, "\\Device\\HarddiskVolume3\\notes.exe", device, ""));
    Run("blocker lookup in the System log", [device] {
        VetoOwner owner;
        return FindVetoOwner(device, 1000, &owner) ? sim::ToUtf8(owner.program) : "none";
    });
}

TEST_F(Soak, LockStringsUnlock) {
    Describe(kPassThroughRoad);
    Run("lock / strings / unlock, pass-through", [] {
        SMIDiskInfo info;
        ResetSMIDiskInfo(&info);
        info.driveLetter = 'E';
        info.deviceHandle = INVALID_HANDLE_VALUE;
        int locked = LockSMIDisk(&info, 0);
        char vendor[kDeviceStringSize] = {0}, product[kDeviceStringSize] = {0};
        int read = GetDeviceStrings(&info, vendor, product);
        int unlocked = UnLockSMIDisk(&info);
        return std::to_string(locked) + " " + std::to_string(read) + " " + vendor + "/" + product +
               " " + std::to_string(unlocked);
    });
}

}  // namespace
