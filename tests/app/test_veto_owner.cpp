// Finding the process that stopped an ejection in the simulated machine's System log:
// which record is named, what is never named, the bounds of the search, and that every
// handle and the library are released on each road.
#include "app/veto_owner.h"
#include "sim/event_log.h"
#include "sim/fault.h"
#include "tests/support/sim_test.h"

#include <string>

namespace {

const char kDevice[] = "USB\\VID_1234&PID_5678\\00000002G";
const char kNotepad[] = "\\Device\\HarddiskVolume3\\Windows\\notepad.exe";
const DWORD kLastTenSeconds = 10000;

class VetoOwnerLookup : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::ResetFaults();
        m.clockMs = 1500;  // three vetoed attempts later
    }
    void TearDown() override {
        sim::ResetFaults();
        SimTest::TearDown();
    }
    void Log(DWORD pid, const std::string& name, const std::string& device, int64_t atMs,
             const std::string& commandLine = "") {
        m.eventLog.system.push_back(sim::RemovalVetoRecord(pid, name, device, commandLine, atMs));
    }
    VetoOwner owner;
};

TEST_F(VetoOwnerLookup, NamesTheNewestRecordOfTheDevice) {
    Log(100, "\\Device\\HarddiskVolume3\\Windows\\explorer.exe", kDevice, -5000);
    Log(4242, kNotepad, "usb\\vid_1234&pid_5678\\00000002g", 1000);
    Log(5150, "\\Device\\HarddiskVolume3\\x\\other.exe", "USB\\VID_1234&PID_5678\\0000000XH", 1400);
    ASSERT_TRUE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    EXPECT_EQ(std::u16string(owner.program), u"notepad.exe");
    EXPECT_EQ(owner.processId, 4242u);
    // By its full path: a library of the same name beside the program is never loaded.
    EXPECT_EQ(JournalLines("load"),
              std::vector<std::string>{"load C:\\Windows\\system32\\wevtapi.dll"});
    EXPECT_EQ(JournalLines("free"), std::vector<std::string>{"free wevtapi.dll"});
    ExpectNothingOpen();
}

TEST_F(VetoOwnerLookup, RecordsOlderThanTenSecondsOrNotYetWrittenAreNotNamed) {
    Log(1, kNotepad, kDevice, 1500 - 10001);
    Log(2, kNotepad, kDevice, 1501);
    EXPECT_FALSE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    EXPECT_EQ(owner.program[0], 0);
    Log(3, kNotepad, kDevice, 1500 - 10000);
    ASSERT_TRUE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    EXPECT_EQ(owner.processId, 3u);
    ExpectNothingOpen();
}

TEST_F(VetoOwnerLookup, OtherEventsAndProvidersAreNotNamed) {
    sim::EventRecord other = sim::RemovalVetoRecord(7, kNotepad, kDevice, "", 1000);
    other.eventId = 226;
    m.eventLog.system.push_back(other);
    other.eventId = 225;
    other.provider = "Microsoft-Windows-Kernel-Power";
    m.eventLog.system.push_back(other);
    EXPECT_FALSE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    ExpectNothingOpen();
}

TEST_F(VetoOwnerLookup, TheNameIsNeverCut) {
    Log(1, "\\Device\\HarddiskVolume3\\" + std::string(MAX_PATH, 'n') + ".exe", kDevice, 900);
    Log(2, "\\Device\\HarddiskVolume3\\two\nlines.exe", kDevice, 1000);
    ASSERT_TRUE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    EXPECT_EQ(std::u16string(owner.program), u"two\nlines.exe");
    m.eventLog.system.pop_back();
    EXPECT_FALSE(FindVetoOwner(kDevice, kLastTenSeconds, &owner))
        << "a name too long for the line is skipped";
    ExpectNothingOpen();
}

TEST_F(VetoOwnerLookup, NoDeviceAskedLoadsNothing) {
    Log(4242, kNotepad, "", 1000);
    EXPECT_FALSE(FindVetoOwner("", kLastTenSeconds, &owner));
    EXPECT_FALSE(FindVetoOwner(NULL, kLastTenSeconds, &owner));
    EXPECT_TRUE(JournalLines("load").empty());
}

TEST_F(VetoOwnerLookup, ALongRenderingIsReadWithALargerBufferUpToALimit) {
    Log(4242, kNotepad, kDevice, 1000, std::string(6000, 'c'));  // about 13 KB as UTF-16
    ASSERT_TRUE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    EXPECT_EQ(owner.processId, 4242u);
    // Over 64 KB the event is skipped; the older one beneath it is still found.
    Log(1, kNotepad, kDevice, 1200, std::string(40000, 'c'));
    ASSERT_TRUE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    EXPECT_EQ(owner.processId, 4242u);
    ExpectNothingOpen();
}

TEST_F(VetoOwnerLookup, ReadsABoundedNumberOfEvents) {
    Log(4242, kNotepad, kDevice, 0);
    for (DWORD k = 0; k < kMaxVetoEventsRead; ++k)
        Log(9000 + k, kNotepad, "USB\\VID_1234&PID_5678\\OTHER", 100 + k);
    EXPECT_FALSE(FindVetoOwner(kDevice, kLastTenSeconds, &owner))
        << "the record is past the events read";
    EXPECT_EQ(JournalLines("event").size(), 1 + kMaxVetoEventsRead) << "a query, then renders";
    ExpectNothingOpen();
}

struct Unavailable {
    const char* what;
    void (*describe)(sim::Machine&);
};

class VetoOwnerUnavailable : public VetoOwnerLookup,
                             public ::testing::WithParamInterface<Unavailable> {};

TEST_P(VetoOwnerUnavailable, FindsNothingAndLeavesNothingOpen) {
    Log(4242, kNotepad, kDevice, 1000);
    GetParam().describe(m);
    EXPECT_FALSE(FindVetoOwner(kDevice, kLastTenSeconds, &owner)) << GetParam().what;
    EXPECT_EQ(owner.processId, 0u);
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Roads, VetoOwnerUnavailable,
    ::testing::Values(
        Unavailable{"no library", [](sim::Machine& m) { m.eventLog.installed = false; }},
        Unavailable{"no EvtRender",
                    [](sim::Machine& m) { m.eventLog.missingEntries.insert("EvtRender"); }},
        Unavailable{"query refused", [](sim::Machine& m) { m.eventLog.queryError = 5; }},
        Unavailable{"render fails", [](sim::Machine& m) { m.eventLog.renderError = 13; }},
        Unavailable{"garbled record",
                    [](sim::Machine& m) {
                        m.eventLog.system.back().data.resize(3);  // no device instance ID
                    }}),
    [](const ::testing::TestParamInfo<Unavailable>& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

TEST_F(VetoOwnerLookup, EachFailingCallEndsTheLookupQuietly) {
    Log(4242, kNotepad, kDevice, 1000);
    sim::PlanFault(sim::kNoFault);  // records the asks of a clean lookup
    ASSERT_TRUE(FindVetoOwner(kDevice, kLastTenSeconds, &owner));
    const size_t asks = sim::FailableCalls().size();
    ASSERT_GT(asks, 0u);
    for (size_t k = 0; k < asks; ++k) {
        FreshProcess();
        m.clockMs = 1500;
        Log(4242, kNotepad, kDevice, 1000);
        sim::PlanFault(k);
        bool found = FindVetoOwner(kDevice, kLastTenSeconds, &owner);
        std::string failed = sim::InjectedFault();
        EXPECT_FALSE(failed.empty()) << k;
        EXPECT_FALSE(found) << failed;
        sim::Leaks leaks = m.OpenObjects();
        EXPECT_EQ(leaks.Total(), 0) << "after " << failed << " failed";
    }
}

}  // namespace
