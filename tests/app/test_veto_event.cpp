// Reading the System log's record of a vetoed removal from its XML rendering: the fields
// by position, entities, bounds, and what makes a text not an event at all.
#include "app/veto_event.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kHead =
    "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System>"
    "<Provider Name='Microsoft-Windows-Kernel-PnP' Guid='{9c205a39-1250-487d-abd7-e831c6290539}'/>"
    "<EventID>225</EventID><Version>0</Version><Level>3</Level><Task>223</Task>"
    "<Opcode>0</Opcode><Keywords>0x8000000000000000</Keywords>"
    "<TimeCreated SystemTime='2025-08-16T23:24:04.1234567Z'/><EventRecordID>699231</EventRecordID>"
    "<Correlation/><Execution ProcessID='4' ThreadID='52'/><Channel>System</Channel>"
    "<Computer>host</Computer><Security UserID='S-1-5-18'/></System>";

std::string Data(const std::string& name, const std::string& text) {
    return "<Data Name='" + name + "'>" + text + "</Data>";
}

std::string VetoEvent(const std::string& pid, const std::string& processName,
                      const std::string& deviceId, const std::string& commandLine) {
    return kHead + "<EventData>" + Data("ProcessId", pid) +
           Data("ProcessNameLength", std::to_string(processName.size())) +
           Data("ProcessName", processName) +
           Data("DeviceInstanceIdLength", std::to_string(deviceId.size())) +
           Data("DeviceInstanceId", deviceId) +
           Data("ProcessCommandLineLength", std::to_string(commandLine.size())) +
           Data("ProcessCommandLine", commandLine) + Data("AffectedDeviceCount", "0") +
           "</EventData></Event>";
}

const std::string kWellFormed =
    VetoEvent("9176", "\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe",
              "USB\\VID_174C&amp;PID_55AA\\MSFT30123458DB27C1",
              "C:\\Windows\\system32\\DllHost.exe /Processid:{DFB65C4C}");

// Parses from a heap copy of exactly `xml`, so a read past its end shows under
// AddressSanitizer.
bool Parse(const std::string& xml, RemovalVetoEvent* event) {
    std::unique_ptr<char[]> copy(new char[xml.size() ? xml.size() : 1]);
    std::memcpy(copy.get(), xml.data(), xml.size());
    return ParseRemovalVetoEvent(copy.get(), xml.size(), event);
}

TEST(VetoEvent, ReadsTheProviderTimeAndEventDataByPosition) {
    RemovalVetoEvent e;
    ASSERT_TRUE(Parse(kWellFormed, &e));
    EXPECT_STREQ(e.provider, "Microsoft-Windows-Kernel-PnP");
    EXPECT_EQ(e.eventId, 225u);
    EXPECT_STREQ(e.systemTime, "2025-08-16T23:24:04.1234567Z");
    EXPECT_EQ(e.processId, 9176u);
    EXPECT_STREQ(e.processName, "\\Device\\HarddiskVolume3\\Windows\\System32\\dllhost.exe");
    EXPECT_STREQ(e.deviceInstanceId, "USB\\VID_174C&PID_55AA\\MSFT30123458DB27C1");
    EXPECT_STREQ(e.commandLine, "C:\\Windows\\system32\\DllHost.exe /Processid:{DFB65C4C}");
}

TEST(VetoEvent, FieldNamesAndQuotingDoNotMatter) {
    // Other names, double quotes, an event id with qualifiers, spaces in the tags and an
    // empty command line written as an empty element.
    std::string xml =
        "<Event><System><Provider  Name = \"Microsoft-Windows-Kernel-PnP\" />"
        "<EventID Qualifiers='0'> 225 </EventID></System><EventData>"
        "<Data Name='A'>77</Data ><Data Name='B'>9</Data><Data Name='C'>\\x\\a.exe</Data>"
        "<Data Name='D'>3</Data><Data Name='E'>USB\\1</Data><Data Name='F'>0</Data>"
        "<Data Name='G'/></EventData></Event>";
    RemovalVetoEvent e;
    ASSERT_TRUE(Parse(xml, &e));
    EXPECT_EQ(e.eventId, 225u);
    EXPECT_EQ(e.processId, 77u);
    EXPECT_STREQ(e.processName, "\\x\\a.exe");
    EXPECT_STREQ(e.deviceInstanceId, "USB\\1");
    EXPECT_STREQ(e.commandLine, "");
    EXPECT_STREQ(e.systemTime, "") << "no TimeCreated";
}

TEST(VetoEvent, EveryCutOfAWholeEventIsRefused) {
    RemovalVetoEvent e;
    for (size_t n = 0; n < kWellFormed.size(); ++n) {
        EXPECT_FALSE(Parse(kWellFormed.substr(0, n), &e)) << "cut at " << n;
        EXPECT_EQ(e.processId, 0u);
        EXPECT_STREQ(e.deviceInstanceId, "");
    }
    EXPECT_FALSE(ParseRemovalVetoEvent(NULL, 10, &e));
}

struct Broken {
    const char* what;
    std::string xml;
};

class VetoEventRefused : public ::testing::TestWithParam<Broken> {};

TEST_P(VetoEventRefused, LeavesTheRecordEmpty) {
    RemovalVetoEvent e;
    EXPECT_FALSE(Parse(GetParam().xml, &e)) << GetParam().what;
    EXPECT_STREQ(e.processName, "");
}

std::string Without(std::string xml, const std::string& part) {
    return xml.erase(xml.find(part), part.size());
}

std::string Replaced(std::string xml, const std::string& part, const std::string& by) {
    return xml.replace(xml.find(part), part.size(), by);
}

INSTANTIATE_TEST_SUITE_P(
    MissingOrMalformed, VetoEventRefused,
    ::testing::Values(
        Broken{"no provider", Without(kWellFormed,
                                      "<Provider Name='Microsoft-Windows-Kernel-PnP' "
                                      "Guid='{9c205a39-1250-487d-abd7-e831c6290539}'/>")},
        Broken{"no event id", Without(kWellFormed, "<EventID>225</EventID>")},
        Broken{"no event data", Replaced(kWellFormed, "<EventData>", "<UserData>")},
        Broken{"four fields", kHead + "<EventData>" + Data("P", "1") + Data("L", "1") +
                                  Data("N", "a") + Data("L", "1") + "</EventData></Event>"},
        Broken{"process id not a number", VetoEvent("12a", "\\a.exe", "USB\\1", "")},
        Broken{"process id too large", VetoEvent("4294967296", "\\a.exe", "USB\\1", "")},
        Broken{"unknown entity", VetoEvent("1", "\\a&bogus;.exe", "USB\\1", "")},
        Broken{"unterminated entity", VetoEvent("1", "\\a&amp", "USB\\1", "")},
        Broken{"unterminated attribute", Replaced(kWellFormed,
                                                  "Name='Microsoft-Windows-Kernel-PnP' "
                                                  "Guid='{9c205a39-1250-487d-abd7-e831c6290539}'/>",
                                                  "Name='Microsoft-Windows-Kernel-PnP/>")},
        Broken{"not an event", "<Other><System/></Other>"}),
    [](const ::testing::TestParamInfo<Broken>& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

TEST(VetoEvent, UnescapesEntitiesAndKeepsReferencesPrintable) {
    RemovalVetoEvent e;
    ASSERT_TRUE(Parse(
        VetoEvent("1", "\\Notes &amp; Co\\&lt;&gt;&quot;&apos;&#65;&#x42;&#7;&#126;&#127;.exe",
                  "USB\\1", "&#x263A;"),
        &e));
    EXPECT_STREQ(e.processName, "\\Notes & Co\\<>\"'AB?~?.exe");
    EXPECT_STREQ(e.commandLine, "?");
}

TEST(VetoEvent, OverLongNamesAreRefusedAndALongCommandLineIsCut) {
    RemovalVetoEvent e;
    std::string fits = "\\" + std::string(kMaxVetoProcessName - 1, 'p');
    EXPECT_TRUE(Parse(VetoEvent("1", fits, "USB\\1", ""), &e));
    EXPECT_EQ(std::strlen(e.processName), kMaxVetoProcessName);
    // A cut name would name another program.
    EXPECT_FALSE(Parse(VetoEvent("1", fits + "p", "USB\\1", ""), &e));

    std::string id(kMaxVetoDeviceId, 'd');
    EXPECT_TRUE(Parse(VetoEvent("1", "\\a.exe", id, ""), &e));
    EXPECT_FALSE(Parse(VetoEvent("1", "\\a.exe", id + "d", ""), &e));
    // An escaped character counts once, as it is kept.
    EXPECT_TRUE(
        Parse(VetoEvent("1", "\\a.exe", std::string(kMaxVetoDeviceId - 1, 'd') + "&amp;", ""), &e));

    ASSERT_TRUE(Parse(VetoEvent("1", "\\a.exe", "USB\\1", std::string(5000, 'c')), &e));
    EXPECT_EQ(std::strlen(e.commandLine), kMaxVetoCommandLine);
}

struct Match {
    const char* asked;
    bool matches;
};

class VetoEventDevice : public ::testing::TestWithParam<Match> {};

TEST_P(VetoEventDevice, MatchesTheInstanceIdWithoutCase) {
    RemovalVetoEvent e;
    ASSERT_TRUE(Parse(kWellFormed, &e));
    EXPECT_EQ(IsRemovalVetoOf(e, GetParam().asked), GetParam().matches) << GetParam().asked;
}

INSTANTIATE_TEST_SUITE_P(
    Devices, VetoEventDevice,
    ::testing::Values(Match{"USB\\VID_174C&PID_55AA\\MSFT30123458DB27C1", true},
                      Match{"usb\\vid_174c&pid_55aa\\msft30123458db27c1", true},
                      Match{"USB\\VID_174C&PID_55AA\\MSFT30123458DB27C", false},
                      Match{"USB\\VID_174C&PID_55AA\\MSFT30123458DB27C12", false},
                      Match{"USBSTOR\\DISK&VEN_X\\MSFT30123458DB27C1", false}, Match{"", false},
                      Match{NULL, false}));

TEST(VetoEvent, OnlyTheKernelPnpProvidersEvent225IsAVeto) {
    RemovalVetoEvent e;
    const char* id = "USB\\VID_174C&PID_55AA\\MSFT30123458DB27C1";
    ASSERT_TRUE(Parse(Replaced(kWellFormed, "<EventID>225<", "<EventID>226<"), &e));
    EXPECT_FALSE(IsRemovalVetoOf(e, id));
    ASSERT_TRUE(Parse(Replaced(kWellFormed, "Name='Microsoft-Windows-Kernel-PnP'",
                               "Name='Microsoft-Windows-Kernel-Power'"),
                      &e));
    EXPECT_FALSE(IsRemovalVetoOf(e, id));
    ASSERT_TRUE(Parse(Replaced(kWellFormed, "Name='Microsoft-Windows-Kernel-PnP'",
                               "Name='microsoft-windows-kernel-pnp'"),
                      &e));
    EXPECT_TRUE(IsRemovalVetoOf(e, id));
}

TEST(VetoEvent, TheProgramIsTheLastComponent) {
    auto program = [](const char16_t* name) { return std::u16string(ProgramOfProcessName(name)); };
    EXPECT_EQ(program(u"\\Device\\HarddiskVolume3\\Windows\\notepad.exe"), u"notepad.exe");
    // ソ is 83 5C in code page 932: its second byte is no backslash in UTF-16.
    EXPECT_EQ(program(u"\\Device\\HarddiskVolume3\\Tools\\ソフト.exe"), u"ソフト.exe");
    EXPECT_EQ(program(u"System"), u"System");
    EXPECT_EQ(program(u"\\Device\\dir\\"), u"");
}

}  // namespace
