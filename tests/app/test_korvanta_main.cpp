// The tool's one run, end to end on the simulated machine: outcome, console line, sound,
// exit code and what it leaves behind.
#include "app/korvanta_main.h"
#include "sim/event_log.h"
#include "tests/support/sim_test.h"

#include <algorithm>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class ToolRun : public SimTest {
protected:
    std::vector<std::string> Console() const { return m.journal.ConsoleLines(); }
    std::vector<UINT> Beeps() const {
        std::vector<UINT> out;
        for (const auto& b : m.journal.beeps) out.push_back(b.type);
        return out;
    }
};

TEST_F(ToolRun, EjectsTheOnlyUsbDrive) {
    sim::BuildDefaultMachine(m);
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("Drive E Ejected"));
    EXPECT_THAT(Beeps(), ElementsAre(MB_OK));
    ASSERT_EQ(m.journal.ejectRequests.size(), 1u);
    EXPECT_THAT(m.journal.shellOpens, IsEmpty());
    EXPECT_EQ(m.journal.console.front().text, "Drive E Ejected\n");
    ExpectNothingOpen();
}

// Before the first library is loaded, the search for libraries loaded by bare name is
// narrowed as far as the system can: to the system folder where kernel32 has
// SetDefaultDllDirectories, else the current folder leaves it.
struct SearchCase {
    const char* name;
    bool setDefaultDllDirectories;
    const char* line;
};

class LibrarySearch : public ToolRun, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(LibrarySearch, IsNarrowedBeforeTheFirstLibraryLoads) {
    sim::BuildDefaultMachine(m);
    m.version.setDefaultDllDirectories = GetParam().setDefaultDllDirectories;
    EXPECT_EQ(KorvantaMain(), 0);
    const std::vector<std::string>& lines = m.journal.lines;
    auto load = std::find_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.rfind("load ", 0) == 0; });
    ASSERT_NE(load, lines.end());
    EXPECT_THAT(JournalLines("dll"), ElementsAre(GetParam().line));
    EXPECT_LT(std::find(lines.begin(), lines.end(), GetParam().line), load);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, LibrarySearch,
    ::testing::Values(SearchCase{"WithSetDefaultDllDirectories", true, "dll directories 0x800"},
                      SearchCase{"WithSetDllDirectoryOnly", false, "dll directory \"\""}),
    [](const ::testing::TestParamInfo<SearchCase>& info) { return std::string(info.param.name); });

TEST_F(ToolRun, EjectsTheUsbDeviceThatIsTheDisksParent) {
    sim::AddFixedDisk(m, 'C', 0);
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'F', 3);
    EXPECT_EQ(KorvantaMain(), 0);
    ASSERT_EQ(m.journal.ejectRequests.size(), 1u);
    EXPECT_EQ(m.journal.ejectRequests[0].devInst, ids.usb);
}

TEST_F(ToolRun, VetoedThreeTimesReportsTheLastVetoName) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'G', 2);
    m.devices[ids.usb].ejectAnswers = {
        {CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u"first"},
        {CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u"second"},
        {CR_REMOVE_VETOED, PNP_VetoWindowsApp, u"\\Device\\HarddiskVolume9"}};
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(Console(), ElementsAre("Problem ejecting drive G: \\Device\\HarddiskVolume9"));
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONHAND));
    EXPECT_EQ(m.journal.ejectRequests.size(), 3u);
    EXPECT_EQ(m.clockMs, 1500u);
    ExpectNothingOpen();
}

TEST_F(ToolRun, FailedEjectionWithoutVetoNamePrintsAnEmptyReason) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 1);
    m.devices[ids.usb].ejectAnswers = {{CR_FAILURE, PNP_VetoTypeUnknown, u""}};
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(Console(), ElementsAre("Problem ejecting drive E: "));
}

// A wait meets more distinct blockers than it remembers: it names the first 32 and no more.
TEST_F(ToolRun, AWaitNamesAtMostThirtyTwoBlockers) {
    sim::UsbDriveIds g = sim::AddUsbFlashDrive(m, 'G', 2);
    m.devices[g.usb].ejectAnswers = {{CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u""}};
    for (DWORD k = 1; k <= 34; ++k)  // a new one before each lookup
        m.eventLog.system.push_back(
            sim::RemovalVetoRecord(5000 + k, "\\Device\\HarddiskVolume3\\p.exe",
                                   m.devices[g.usb].instanceId, "", 1000 * k));
    m.process.commandLine = "korvanta.exe --wait=40";
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_EQ(Console().size(), 1 + 32 + 1u);
}

TEST_F(ToolRun, NoDriveOpensTheProductPageBeforeSayingSo) {
    sim::AddFixedDisk(m, 'C', 0);
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("No USB drive detected."));
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONHAND));
    ASSERT_EQ(m.journal.shellOpens.size(), 1u);
    const sim::ShellOpen& open = m.journal.shellOpens[0];
    EXPECT_EQ(open.verb, "open");
    EXPECT_EQ(open.file, ProductPageAddress);
    EXPECT_EQ(open.directory, "C:\\");
    EXPECT_EQ(open.show, SW_SHOWNORMAL);
    EXPECT_LT(open.seq, m.journal.console[0].seq);
    EXPECT_TRUE(m.journal.ejectRequests.empty());
    ExpectNothingOpen();
}

TEST_F(ToolRun, BrowserThatCannotStartChangesNothing) {
    m.shell.executeError = ERROR_NO_ASSOCIATION;
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("No USB drive detected."));
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONHAND));
    ASSERT_EQ(m.journal.shellOpens.size(), 1u);
    EXPECT_FALSE(m.journal.shellOpens[0].succeeded);
}

struct StartupFailure {
    const char* name;
    void (*arrange)(sim::Machine&);
    const char* line;  // nullptr: nothing printed
};

class ToolStartup : public SimTest, public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(ToolStartup, StopsWithExitCodeOneAndNoSound) {
    sim::BuildDefaultMachine(m);
    GetParam().arrange(m);
    EXPECT_EQ(KorvantaMain(), 1);
    if (GetParam().line)
        EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre(GetParam().line));
    else
        EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.beeps, IsEmpty());
    EXPECT_THAT(m.journal.ejectRequests, IsEmpty());
    EXPECT_THAT(JournalLines("netuser"), IsEmpty()) << "no drive list was asked for";
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ToolStartup,
    ::testing::Values(
        StartupFailure{"SecondInstance",
                       [](sim::Machine& m) { m.process.mutexesHeldElsewhere.insert("Korvanta"); },
                       nullptr},
        StartupFailure{"MutexCannotBeCreated",
                       [](sim::Machine& m) { m.process.mutexCreationFails = true; }, nullptr},
        StartupFailure{"NoModuleHandle",
                       [](sim::Machine& m) { m.process.moduleHandleAvailable = false; },
                       "Fatal Error: GetModuleHandle failed"},
        StartupFailure{"FrameworkStartFails",
                       [](sim::Machine& m) { m.process.consoleControlAvailable = false; },
                       "Fatal Error: MFC initialization failed"}),
    [](const ::testing::TestParamInfo<StartupFailure>& info) { return info.param.name; });

TEST_F(ToolRun, AnotherProgramsMutexOfAnotherNameDoesNotStopTheRun) {
    sim::BuildDefaultMachine(m);
    m.process.mutexesHeldElsewhere.insert("korvanta");  // names are case-sensitive
    EXPECT_EQ(KorvantaMain(), 0);
}

TEST_F(ToolRun, HighestLetterWithMediaWins) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    sim::UsbDriveIds g = sim::AddUsbFlashDrive(m, 'G', 2);
    sim::AddUsbFlashDrive(m, 'H', 3);
    m.FindVolume('H')->mediaPresent = false;  // an empty card-reader slot
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("Drive G Ejected"));
    ASSERT_EQ(m.journal.ejectRequests.size(), 1u);
    EXPECT_EQ(m.journal.ejectRequests[0].devInst, g.usb);
    // Every letter went through the media check, and only one drive was ejected.
    int checks = 0;
    for (const auto& io : m.journal.ioControls) checks += io.code == IOCTL_STORAGE_CHECK_VERIFY;
    EXPECT_EQ(checks, 3);
    ExpectNothingOpen();
}

TEST_F(ToolRun, DrivesWithoutMediaOrThatCannotBeReadAreNotCandidates) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    sim::AddUsbFlashDrive(m, 'F', 2);
    sim::AddUsbFlashDrive(m, 'G', 3);
    m.FindVolume('F')->mediaPresent = false;
    // G: answers the device-number query but refuses an open for reading.
    m.FindVolume('G')->deniedAccess = FILE_READ_DATA;
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("Drive E Ejected"));
    ExpectNothingOpen();
}

TEST_F(ToolRun, OnlyDriveWithoutMediaTakesTheNoDrivePath) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.FindVolume('E')->mediaPresent = false;
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("No USB drive detected."));
    EXPECT_EQ(m.journal.shellOpens.size(), 1u);
}

TEST_F(ToolRun, ManyDrivesNeverOverrunTheLetterList) {
    // 23 USB volumes on one disk: the user-mode road can list more letters than the
    // historical 19-letter list held. C: stays the system's own disk, where the program,
    // its current directory and the system directory lie.
    for (char c = 'D'; c <= 'Z'; ++c) {
        sim::Volume v;
        v.letter = c;
        v.deviceNumber = 5;
        v.dosDevice = std::string("\\Device\\HarddiskVolume") + c;
        m.AddVolume(v);
    }
    sim::Interface usb;
    usb.interfaceClass = GUID_DEVINTERFACE_DISK;
    usb.devicePath = sim::InterfacePath("usbstor#disk&ven_x&prod_y#1&0", GUID_DEVINTERFACE_DISK);
    usb.deviceNumber = 5;
    usb.devInst = 0x2001;
    m.AddInterface(usb);
    m.devices[0x2000] = {0, "USB\\VID_1&PID_2\\1", {}};
    m.devices[0x2001] = {0x2000, "USBSTOR\\DISK\\1", {}};
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Console(), ElementsAre("Drive Z Ejected"));
    int checks = 0;
    for (const auto& io : m.journal.ioControls) checks += io.code == IOCTL_STORAGE_CHECK_VERIFY;
    EXPECT_EQ(checks, 23);
}

}  // namespace
