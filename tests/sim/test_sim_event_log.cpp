// The simulated event log service and device instance IDs, held to the contracts of the
// real calls: filters of a query, the order of its results, a render into a buffer too
// small, and what a call that fails leaves alone.
#include "sim/event_log.h"
#include "tests/support/sim_test.h"

#include <string>

namespace {

class SimEventLog : public SimTest {
protected:
    // UTF-16 of an ASCII text, for the wide arguments.
    static std::u16string W(const std::string& s) { return sim::Widen(s); }

    EVT_HANDLE Query(const std::string& query, DWORD flags) {
        return EvtQuery(NULL, W("System").c_str(), W(query).c_str(), flags);
    }
    // The process ids of the records a query hands out, in order.
    std::vector<std::string> Pids(EVT_HANDLE results) {
        std::vector<std::string> pids;
        EVT_HANDLE events[2];
        DWORD returned = 0;
        while (EvtNext(results, 2, events, 0, 0, &returned)) {
            for (DWORD k = 0; k < returned; ++k) {
                size_t index = m.objects.at(reinterpret_cast<uintptr_t>(events[k])).records[0];
                pids.push_back(m.eventLog.system[index].data[0].second);
                EXPECT_TRUE(EvtClose(events[k]));
            }
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        return pids;
    }
};

TEST_F(SimEventLog, AQueryFiltersByProviderEventAndAgeInTheOrderAsked) {
    m.clockMs = 20000;
    m.eventLog.system = {sim::RemovalVetoRecord(1, "\\a.exe", "USB\\1", "", 5000),
                         sim::RemovalVetoRecord(2, "\\a.exe", "USB\\1", "", 12000),
                         sim::RemovalVetoRecord(3, "\\a.exe", "USB\\1", "", 15000),
                         sim::RemovalVetoRecord(4, "\\a.exe", "USB\\1", "", 25000)};
    m.eventLog.system[2].eventId = 226;
    const std::string recent =
        "*[System[Provider[@Name='Microsoft-Windows-Kernel-PnP'] and (EventID=225) and "
        "TimeCreated[timediff(@SystemTime) <= 10000]]]";
    EVT_HANDLE newest = Query(recent, EvtQueryChannelPath | EvtQueryReverseDirection);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(Pids(newest), std::vector<std::string>{"2"});
    EXPECT_TRUE(EvtClose(newest));

    EVT_HANDLE all = Query("*", EvtQueryChannelPath);
    EXPECT_EQ(Pids(all), (std::vector<std::string>{"1", "2", "3"})) << "oldest first";
    EXPECT_TRUE(EvtClose(all));
    ExpectNothingOpen();
}

TEST_F(SimEventLog, RefusesWhatItCannotServe) {
    EXPECT_EQ(Query("*[System[(EventID=225)]", EvtQueryChannelPath), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVT_INVALID_QUERY));
    EXPECT_EQ(EvtQuery(NULL, W("Nowhere").c_str(), W("*").c_str(), EvtQueryChannelPath), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVT_CHANNEL_NOT_FOUND));
    m.eventLog.queryError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Query("*", EvtQueryChannelPath), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(EvtClose(INVALID_HANDLE_VALUE));
    ExpectNothingOpen();
}

TEST_F(SimEventLog, ARenderThatDoesNotFitNamesTheSizeAndLeavesTheBuffer) {
    m.eventLog.system = {sim::RemovalVetoRecord(9176, "\\Device\\V3\\a&b.exe", "USB\\1", "", 0)};
    EVT_HANDLE results = Query("*", EvtQueryChannelPath);
    EVT_HANDLE event = NULL;
    DWORD returned = 0;
    ASSERT_TRUE(EvtNext(results, 1, &event, 0, 0, &returned));
    ASSERT_EQ(returned, 1u);

    char16_t small[8] = {u'x'};
    DWORD used = 0xdeadbeef, properties = 0xdeadbeef;
    EXPECT_FALSE(
        EvtRender(NULL, event, EvtRenderEventXml, sizeof small, small, &used, &properties));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[0], u'x');
    std::string xml = sim::RenderEventXml(m, 0);
    EXPECT_EQ(used, (xml.size() + 1) * 2);

    std::u16string buffer(used / 2, u'?');
    ASSERT_TRUE(EvtRender(NULL, event, EvtRenderEventXml, used, &buffer[0], &used, &properties));
    EXPECT_EQ(sim::Narrow(buffer.substr(0, buffer.size() - 1)), xml);
    EXPECT_NE(xml.find("<Data Name='ProcessName'>\\Device\\V3\\a&amp;b.exe</Data>"),
              std::string::npos);
    EXPECT_NE(xml.find("<TimeCreated SystemTime='2026-01-05T10:00:00.0000000Z'/>"),
              std::string::npos);
    EXPECT_TRUE(EvtClose(event));
    EXPECT_TRUE(EvtClose(results));
    ExpectNothingOpen();
}

TEST_F(SimEventLog, TheVirtualClockHasAWallClockTime) {
    EXPECT_EQ(sim::SystemTimeAt(1500), "2026-01-05T10:00:01.5000000Z");
    EXPECT_EQ(sim::SystemTimeAt(-36000001), "2026-01-04T23:59:59.9990000Z");
    EXPECT_EQ(sim::SystemTimeAt(86400000LL * 57), "2026-03-03T10:00:00.0000000Z");
}

TEST_F(SimEventLog, DeviceIdsFillWhatFitsAndSayWhenTheyDoNotFit) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    char id[MAX_DEVICE_ID_LEN + 1];
    ASSERT_EQ(CM_Get_Device_IDA(ids.usb, id, sizeof id, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_STREQ(id, "USB\\VID_1234&PID_5678\\00000002E");
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(CM_Get_Device_IDA(ids.usb, small, 4, 0), static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(std::string(small, 5), "USB\\x") << "no terminator, nothing past the length";
    EXPECT_EQ(CM_Get_Device_IDA(0x9999, id, sizeof id, 0),
              static_cast<CONFIGRET>(CR_INVALID_DEVNODE));
}

}  // namespace
