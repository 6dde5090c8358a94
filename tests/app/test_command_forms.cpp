// Each form of the command line through the tool's entry point: which of them take the
// single-instance guard, touch a drive, sound, and what they exit with; alone in a console
// window, how long they keep it.
#include "app/about.h"
#include "app/console_window.h"
#include "app/korvanta_main.h"
#include "tests/support/sim_test.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct FormCase {
    const char* arguments;
    bool takesGuard;
    int exitCode;
    std::vector<UINT> beeps;
    size_t ejections;
};

class Forms : public SimTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(Forms, GuardSoundExitCodeAndEjections) {
    const FormCase& c = GetParam();
    sim::AddFixedDisk(m, 'C', 0);
    sim::AddUsbFlashDrive(m, 'E', 1);
    sim::AddUsbFlashDrive(m, 'G', 2);
    m.process.commandLine = std::string("\"C:\\My Tools\\korvanta.exe\"") + c.arguments;
    EXPECT_EQ(KorvantaMain(), c.exitCode);
    EXPECT_EQ(JournalLines("mutex").size(), c.takesGuard ? 1u : 0u);
    std::vector<UINT> beeps;
    for (const auto& b : m.journal.beeps) beeps.push_back(b.type);
    EXPECT_EQ(beeps, c.beeps);
    EXPECT_EQ(m.journal.ejectRequests.size(), c.ejections);
    EXPECT_THAT(m.journal.shellOpens, IsEmpty());
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    EveryForm, Forms,
    ::testing::Values(FormCase{"", true, 0, {MB_OK}, 1}, FormCase{" g:", true, 0, {MB_OK}, 1},
                      FormCase{" C:", true, 1, {MB_ICONHAND}, 0},
                      FormCase{" --list", false, 0, {}, 0}, FormCase{" --info E:", false, 1, {}, 0},
                      FormCase{" --help", false, 0, {}, 0}, FormCase{" --version", false, 0, {}, 0},
                      FormCase{" --bogus", false, 2, {}, 0},
                      FormCase{" --relaunched-from=77", true, 0, {MB_OK}, 1},
                      FormCase{" --all", true, 0, {MB_OK}, 2},
                      FormCase{" --wait=2 --all", true, 0, {MB_OK}, 2},
                      FormCase{" --wait", true, 0, {MB_OK}, 1}));

// Each wrong use of --all and --wait: the usage line, exit code 2, no guard, no drive.
INSTANTIATE_TEST_SUITE_P(WrongAllOrWait, Forms,
                         ::testing::Values(FormCase{" --wait=", false, 2, {}, 0},
                                           FormCase{" --wait=0", false, 2, {}, 0},
                                           FormCase{" --wait=601", false, 2, {}, 0},
                                           FormCase{" --wait 30", false, 2, {}, 0},
                                           FormCase{" --wait=x", false, 2, {}, 0},
                                           FormCase{" --all E:", false, 2, {}, 0},
                                           FormCase{" --list --wait", false, 2, {}, 0},
                                           FormCase{" --info E: --wait", false, 2, {}, 0},
                                           FormCase{" --wait=5 --help", false, 2, {}, 0},
                                           FormCase{" --version --wait", false, 2, {}, 0},
                                           FormCase{" --all --all", false, 2, {}, 0},
                                           FormCase{" --wait=3 --wait=3", false, 2, {}, 0}));
// The option's name run on into something else is not the option.
INSTANTIATE_TEST_SUITE_P(WaitRunOn, Forms,
                         ::testing::Values(FormCase{" --wait:5", false, 2, {}, 0},
                                           FormCase{" --waitX5", false, 2, {}, 0}));

// With no drive, only the form without arguments, waiting or not, opens the product page.
class NoDrive : public SimTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NoDrive, OnlyTheFormWithoutArgumentsOpensTheProductPage) {
    m.process.commandLine = std::string("korvanta.exe") + GetParam();
    KorvantaMain();
    EXPECT_EQ(m.journal.shellOpens.size(), std::string(GetParam()) == " --wait" ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Forms, NoDrive,
                         ::testing::Values(" --wait", " --all", " --all --wait", " E:"));

// Each form started alone in a console window of its own, which closes with the tool: the
// prompt and how long the window stays (no key is pressed). The machine of the table above.
struct WindowCase {
    const char* arguments;
    uint64_t stays;  // ms; 3000 without the prompt, 60000 with it
};

class OwnWindow : public SimTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(OwnWindow, StaysToBeRead) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.console.otherProcesses.clear();
    m.process.commandLine = std::string("korvanta.exe") + GetParam().arguments;
    KorvantaMain();
    EXPECT_EQ(m.clockMs, GetParam().stays);
    std::vector<std::string> lines = m.journal.ConsoleLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Press any key to close this window."),
              GetParam().stays == kReportWindowMs ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, OwnWindow,
                         ::testing::Values(WindowCase{"", kEjectedWindowMs},
                                           WindowCase{" --all", kEjectedWindowMs},
                                           WindowCase{" C:", kReportWindowMs},
                                           WindowCase{" --list", kReportWindowMs},
                                           WindowCase{" --info E:", kReportWindowMs},
                                           WindowCase{" --help", kReportWindowMs},
                                           WindowCase{" --version", kReportWindowMs},
                                           WindowCase{" --bogus", kReportWindowMs}));

// A window shared with another process, one the process was started hidden in, or streams
// redirected: the report is read elsewhere, and nothing waits.
class NoWindowWait : public SimTest,
                     public ::testing::WithParamInterface<void (*)(sim::Machine&)> {};

TEST_P(NoWindowWait, ForARunThatPrintsAFailure) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.console.otherProcesses.clear();
    m.process.commandLine = "korvanta.exe C:";
    GetParam()(m);
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_EQ(m.clockMs, 0u);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("Drive C is not a USB drive with media."));
}

INSTANTIATE_TEST_SUITE_P(Cases, NoWindowWait,
                         ::testing::Values(
                             [](sim::Machine& m) {
                                 m.console.otherProcesses = {sim::kCommandInterpreterId};
                             },
                             [](sim::Machine& m) { m.console.showWindow = SW_HIDE; },
                             [](sim::Machine& m) { m.console.output = sim::Stream::File; },
                             [](sim::Machine& m) { m.console.input = sim::Stream::File; }));

TEST_F(SimTest, OwnWindowLetsGoOfTheGuardThenWaitsWithCtrlCAsAKey) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.console.otherProcesses.clear();
    m.process.commandLine = "korvanta.exe C:";
    KorvantaMain();
    std::vector<std::string> order;
    for (const std::string& line : m.journal.lines)
        if (line.rfind("beep", 0) == 0 || line.rfind("close Korvanta", 0) == 0 ||
            line.rfind("input", 0) == 0 || line.rfind("wait", 0) == 0)
            order.push_back(line);
    EXPECT_THAT(order, ElementsAre("beep 16", "close Korvanta", "input mode 0x16", "input flush 0",
                                   "wait timeout 60000", "input mode 0x17"));
}

TEST_F(SimTest, NamedDriveIsEjectedEvenWhenAHigherOneIsPresent) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    sim::AddUsbFlashDrive(m, 'G', 2);
    m.process.commandLine = "korvanta.exe e";
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("Drive E Ejected"));
    ASSERT_EQ(m.journal.ejectRequests.size(), 1u);
    EXPECT_EQ(m.journal.ejectRequests[0].devInst, e.usb);
}

TEST_F(SimTest, NamedDriveStillWaitsForASecondInstance) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.process.mutexesHeldElsewhere.insert("Korvanta");
    m.process.commandLine = "korvanta.exe E:";
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.beeps, IsEmpty());
}

TEST_F(SimTest, NamedDriveVetoedReportsAsWithoutArguments) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    m.devices[e.usb].ejectAnswers = {{CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u"busy"}};
    m.process.commandLine = "korvanta.exe E:";
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("Problem ejecting drive E: busy"));
    EXPECT_EQ(m.clockMs, 1500u);
}

TEST_F(SimTest, ListAfterAFailedStartUpReportsIt) {
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.process.moduleHandleAvailable = false;
    m.process.commandLine = "korvanta.exe --list";
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("Fatal Error: GetModuleHandle failed"));
}

TEST_F(SimTest, WrongArgumentWritesOnlyTheUsageLineToStandardError) {
    m.process.commandLine = "korvanta.exe -l";
    EXPECT_EQ(KorvantaMain(), 2);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.ErrorLines(),
                ElementsAre("usage: korvanta [TARGET... | --all] [--wait[=SECONDS]] | --list | "
                            "--info E: | --help | --version"));
}

struct VersionCase {
    const char* resource;
    const char* shown;
};

class Versions : public SimTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(Versions, ShownFromTheVersionResource) {
    m.process.fileVersion = GetParam().resource;
    EXPECT_EQ(ShowVersion(), 0);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre(GetParam().shown));
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(Resources, Versions,
                         ::testing::Values(VersionCase{"1.0.0.0", "Korvanta 1.0.0"},
                                           VersionCase{"2.13.0.7", "Korvanta 2.13.0.7"},
                                           VersionCase{"65535.65535.65535.0",
                                                       "Korvanta 65535.65535.65535"}));

TEST_F(SimTest, DefaultVersionIsTheProjectVersion) {
    char text[32];
    ASSERT_TRUE(ReadProgramVersion(text, sizeof text));
    EXPECT_EQ(std::string(text) + ".0", sim::DefaultFileVersion());
}

TEST_F(SimTest, MissingVersionResourceIsAFailureNotAVersion) {
    m.process.fileVersion = "";
    EXPECT_EQ(ShowVersion(), 1);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.ErrorLines(), ElementsAre("The version information cannot be read."));
}

// Without the version library, or one of its functions, the version cannot be read.
class VersionLibraryMissing : public SimTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(VersionLibraryMissing, IsAFailureNotAVersion) {
    std::string missing = GetParam();
    if (missing == "version.dll")
        m.systemLibraries.absent.insert(missing);
    else
        m.systemLibraries.missingEntries.insert(missing);
    EXPECT_EQ(ShowVersion(), 1);
    EXPECT_THAT(m.journal.ErrorLines(), ElementsAre("The version information cannot be read."));
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(Missing, VersionLibraryMissing,
                         ::testing::Values("version.dll", "GetFileVersionInfoSizeA",
                                           "GetFileVersionInfoA", "VerQueryValueA"));

TEST_F(SimTest, ProgramPathTooLongForItsBufferIsNotUsed) {
    m.process.moduleFileName = "C:\\" + std::string(300, 'd') + "\\korvanta.exe";
    char text[32];
    EXPECT_FALSE(ReadProgramVersion(text, sizeof text));
    EXPECT_STREQ(text, "");
}

}  // namespace
