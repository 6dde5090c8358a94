// The tool run from the drive it ejects: the original hands the ejection to a copy of itself
// in the temporary folder, the copy waits for it and ejects, and every run sweeps away the
// copies earlier runs left. Without the hand-over the machine vetoes the ejection.
#include "app/eject.h"
#include "app/korvanta_main.h"
#include "app/relaunch.h"
#include "app/stale_copies.h"
#include "sim/fault.h"
#include "tests/support/sim_test.h"

#include <algorithm>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kTemp[] = "C:\\Users\\user\\AppData\\Local\\Temp\\";
const char kFirstCopy[] = "C:\\Users\\user\\AppData\\Local\\Temp\\korvanta-copy-4200-0.exe";
const char kStickVeto[] = "Problem ejecting drive E: \\Device\\HarddiskVolume11";

class Relaunch : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::BuildDefaultMachine(m);
        m.process.id = 0x1068;
    }
    // Started by a double-click on the stick: Explorer starts it in its own folder.
    void FromTheStick(const std::string& arguments = "") {
        m.process.moduleFileName = "E:\\Tools\\korvanta.exe";
        m.process.currentDirectory = "E:\\Tools";
        m.process.commandLine = "\"E:\\Tools\\korvanta.exe\"" + arguments;
    }
    std::vector<std::string> Deleted() const {
        std::vector<std::string> out;
        for (const auto& f : m.journal.filesDeleted) out.push_back(f.path);
        return out;
    }
};

TEST_F(Relaunch, FromTheStickTheOriginalStartsTheCopyAndEndsSilently) {
    FromTheStick();
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.beeps, IsEmpty());
    EXPECT_THAT(m.journal.ejectRequests, IsEmpty());
    ASSERT_EQ(m.journal.processesCreated.size(), 1u);
    const sim::ProcessCreated& copy = m.journal.processesCreated[0];
    EXPECT_EQ(copy.applicationName, kFirstCopy);
    EXPECT_EQ(copy.commandLine, "\"" + std::string(kFirstCopy) + "\" --relaunched-from=4200");
    EXPECT_FALSE(copy.inheritHandles);
    EXPECT_EQ(copy.creationFlags & CREATE_NEW_CONSOLE, 0u);
    // It starts outside the stick, and runs from its own file, which stays until a later run.
    EXPECT_EQ(copy.currentDirectory, "C:\\Windows\\system32");
    ASSERT_EQ(m.files.count(kFirstCopy), 1u);
    EXPECT_TRUE(m.files[kFirstCopy].inUse);
    EXPECT_THAT(Deleted(), IsEmpty());
    ExpectNothingOpen();
}

TEST_F(Relaunch, TheCopyIsToldTheDriveTheUserNamed) {
    FromTheStick(" e:");
    EXPECT_EQ(KorvantaMain(), 0);
    ASSERT_EQ(m.journal.processesCreated.size(), 1u);
    EXPECT_EQ(m.journal.processesCreated[0].commandLine,
              "\"" + std::string(kFirstCopy) + "\" E: --relaunched-from=4200");
}

TEST_F(Relaunch, ANameStillInUseMovesOnToTheNext) {
    FromTheStick();
    m.files[kFirstCopy].inUse = true;  // a copy of an earlier process with the same id
    EXPECT_EQ(KorvantaMain(), 0);
    ASSERT_EQ(m.journal.processesCreated.size(), 1u);
    EXPECT_EQ(m.journal.processesCreated[0].applicationName,
              std::string(kTemp) + "korvanta-copy-4200-1.exe");
}

// Where the program's file and the temporary folder lie, and what the original does: on a
// machine with an internal disk C:, a stick E: and a stick with two volumes, G: and H:
// (the highest letter), mounted also at C:\Mounts\Stick\ and behind subst letter S:.
struct Start {
    const char* name;
    std::string image;
    std::string temp;           // "": the account's own temporary folder on C:
    std::string arguments;      // the user's
    const char* copyArguments;  // the copy's, before the marker; null: no copy is made
    const char* line;           // the original's own line when it makes no copy
};

class HandOver : public Relaunch, public ::testing::WithParamInterface<Start> {};

TEST_P(HandOver, FollowsTheDeviceTheProgramLiesOn) {
    const Start& c = GetParam();
    sim::AddUsbFlashDrive(m, 'G', 2);
    sim::Volume second = *m.FindVolume('G');
    second.letter = 'H';
    second.partitionNumber = 2;
    second.dosDevice = "\\Device\\HarddiskVolume14";
    m.AddVolume(second);
    m.FindVolume('G')->mountFolders = {"C:\\Mounts\\Stick\\"};
    m.substs['S'] = "G:\\Tools";
    m.process.moduleFileName = c.image;
    if (!c.temp.empty()) m.process.tempPath = c.temp;
    m.process.commandLine = "korvanta.exe" + c.arguments;
    int code = KorvantaMain();
    if (c.copyArguments != nullptr) {
        EXPECT_EQ(code, 0);
        EXPECT_THAT(m.journal.console, IsEmpty());
        ASSERT_EQ(m.journal.processesCreated.size(), 1u);
        EXPECT_EQ(
            m.journal.processesCreated[0].commandLine,
            "\"" + std::string(kFirstCopy) + "\"" + c.copyArguments + " --relaunched-from=4200");
    } else {
        EXPECT_THAT(m.journal.processesCreated, IsEmpty());
        EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre(c.line));
    }
    ExpectNothingOpen();
}

// The stick's ejection, vetoed for the program's own file on G: or on H:.
const char kHeldOnG[] = "Problem ejecting drive H: \\Device\\HarddiskVolume12";
const char kHeldOnH[] = "Problem ejecting drive H: \\Device\\HarddiskVolume14";

INSTANTIATE_TEST_SUITE_P(
    Starts, HandOver,
    ::testing::Values(
        Start{"LowerVolume", "G:\\k.exe", "", "", "", nullptr},
        Start{"LowerVolumeHigherNamed", "G:\\k.exe", "", " h:", " H:", nullptr},
        Start{"LowerVolumeAll", "G:\\k.exe", "", " --all --wait=3", " --all --wait=3", nullptr},
        Start{"HigherVolume", "H:\\k.exe", "", "", "", nullptr},
        Start{"HigherVolumeLowerNamed", "H:\\k.exe", "", " G:", " G:", nullptr},
        Start{"HigherVolumeAll", "H:\\k.exe", "", " --all", " --all", nullptr},
        Start{"SubstLetter", "S:\\k.exe", "", "", "", nullptr},
        Start{"MountedFolder", "c:\\mounts\\stick\\Tools\\k.exe", "", "", "", nullptr},
        Start{"LongPathForm", "\\\\?\\G:\\k.exe", "", "", "", nullptr},
        // A copy on either volume of the stick would hold it just the same.
        Start{"TemporaryFolderOnTheOtherVolume", "G:\\k.exe", "H:\\Temp\\", "", nullptr, kHeldOnG},
        Start{"TemporaryFolderThroughSubst", "H:\\k.exe", "S:\\Temp\\", "", nullptr, kHeldOnH},
        Start{"TemporaryFolderOnTheStick", "E:\\k.exe", "E:\\Temp\\", " E:", nullptr, kStickVeto},
        // The program's stick is not the one ejected.
        Start{"OnTheOtherStick", "E:\\k.exe", "", "", nullptr, "Drive H Ejected"},
        Start{"OnAnotherDrive", "C:\\Tools\\k.exe", "", "", nullptr, "Drive H Ejected"},
        Start{"OnAShare", "\\\\server\\tools\\k.exe", "", "", nullptr, "Drive H Ejected"},
        // A name longer than the buffer comes back cut short: not trusted, not handed over.
        Start{"NameTooLong", "H:\\" + std::string(300, 'k') + ".exe", "", "", nullptr, kHeldOnH}),
    [](const ::testing::TestParamInfo<Start>& info) { return std::string(info.param.name); });

// The machine's rule alone, without the program letting go: a process whose image or
// current directory lies on the drive has the ejection vetoed with the volume's name.
TEST_F(Relaunch, WithoutLettingGoTheMachineVetoesTheEjection) {
    char error[kEjectTextBytes];
    m.process.currentDirectory = "E:\\";
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "\\Device\\HarddiskVolume11");

    m.process.currentDirectory = "C:\\";
    m.process.moduleFileName = "e:\\korvanta.exe";
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_EQ(m.journal.ejectRequests.back().vetoType, PNP_VetoOutstandingOpen);

    // Another drive of the machine is not held.
    m.process.moduleFileName = "C:\\korvanta.exe";
    EXPECT_TRUE(EjectDrive('E', error));
    ExpectNothingOpen();
}

// The copy's side.
class Copy : public Relaunch {
protected:
    void SetUp() override {
        Relaunch::SetUp();
        m.process.id = 0x2000;
        m.process.moduleFileName = kFirstCopy;
        m.process.currentDirectory = "C:\\Windows\\system32";
        m.process.commandLine = "\"" + std::string(kFirstCopy) + "\" --relaunched-from=4200";
    }
};

TEST_F(Copy, WaitsForTheOriginalToEndBeforeTakingTheGuard) {
    m.processes[4200] = {sim::ProcessEnd::Later, 300};
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("Drive E Ejected"));
    EXPECT_EQ(m.clockMs, 300u);
    std::vector<std::string> lines = m.journal.lines;
    auto waited = std::find(lines.begin(), lines.end(), "wait process 4200 ended");
    auto guard = std::find(lines.begin(), lines.end(), "mutex Korvanta created");
    ASSERT_NE(waited, lines.end());
    EXPECT_LT(waited, guard);
    EXPECT_THAT(m.journal.processesCreated, IsEmpty());
    ExpectNothingOpen();
}

TEST_F(Copy, AnOriginalAlreadyGoneIsNotWaitedFor) {
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("Drive E Ejected"));
    EXPECT_EQ(m.clockMs, 0u);
    ExpectNothingOpen();
}

TEST_F(Copy, AnOriginalThatNeverEndsIsWaitedForABoundedTime) {
    m.processes[4200] = {sim::ProcessEnd::Never, 0};
    m.process.mutexesHeldElsewhere.insert("Korvanta");  // the original still holds it
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_EQ(m.clockMs, OriginalExitWaitMs);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.ejectRequests, IsEmpty());
    ExpectNothingOpen();
}

TEST_F(Copy, NeverHandsTheEjectionOnAgain) {
    // However it came to run from the stick, a copy ejects itself.
    m.process.moduleFileName = "E:\\korvanta-copy-4200-0.exe";
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(m.journal.processesCreated, IsEmpty());
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre(kStickVeto));
}

TEST_F(Copy, SweepsStaleCopiesButNeverItsOwnImage) {
    std::string temp = kTemp;
    m.files[temp + "korvanta-copy-2730-0.exe"] = {false};
    m.files[temp + "KORVANTA-COPY-2999-0.EXE"] = {false};
    m.files[temp + "korvanta-copy-3276-0.exe"] = {true};  // another copy still running
    m.files[temp + "korvanta-copy-3549-0.exe.txt"] = {false};
    m.files[temp + "notes.exe"] = {false};
    m.files["C:\\Tools\\korvanta-copy-3822-0.exe"] = {false};
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Deleted(),
                ElementsAre(temp + "korvanta-copy-2730-0.exe", temp + "KORVANTA-COPY-2999-0.EXE"));
    for (const std::string& line : m.journal.lines)
        EXPECT_NE(line.rfind("delete " + std::string(kFirstCopy), 0), 0u) << line;
    EXPECT_EQ(m.files.count(temp + "korvanta-copy-3276-0.exe"), 1u);
    ExpectNothingOpen();
}

TEST_F(Relaunch, TheSweepLooksAtABoundedNumberOfNames) {
    for (int k = 0; k < MaxStaleCopyNames + 10; ++k)
        m.files[std::string(kTemp) + "korvanta-copy-" + std::to_string(1000 + k) + "-0.exe"] = {};
    RemoveStaleCopies();
    EXPECT_EQ(m.journal.filesDeleted.size(), static_cast<size_t>(MaxStaleCopyNames));
    EXPECT_EQ(m.files.size(), 10u);
    ExpectNothingOpen();
}

TEST_F(Relaunch, OnlyEjectingRunsSweep) {
    m.files[std::string(kTemp) + "korvanta-copy-1-0.exe"] = {};
    for (const char* line : {"korvanta.exe --list", "korvanta.exe --help", "korvanta.exe --version",
                             "korvanta.exe --info E:"}) {
        m.process.commandLine = line;
        KorvantaMain();
    }
    EXPECT_THAT(Deleted(), IsEmpty());
    m.process.commandLine = "korvanta.exe";
    EXPECT_EQ(KorvantaMain(), 0);
    EXPECT_THAT(Deleted(), ElementsAre(std::string(kTemp) + "korvanta-copy-1-0.exe"));
}

// Whichever platform call of the run fails, the original either has its copy running and
// says nothing, or leaves no copy behind; it keeps nothing open either way.
TEST_F(Relaunch, AnyFailedCallLeavesEitherARunningCopyOrNone) {
    FromTheStick();
    sim::PlanFault(sim::kNoFault);  // records the asks of a clean run
    KorvantaMain();
    std::vector<std::string> calls = sim::FailableCalls();
    ASSERT_FALSE(calls.empty());
    for (size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE(calls[k]);
        FreshProcess();
        sim::BuildDefaultMachine(m);
        m.process.id = 0x1068;
        FromTheStick();
        sim::PlanFault(k);
        int code = KorvantaMain();
        bool started =
            !m.journal.processesCreated.empty() && m.journal.processesCreated.back().succeeded;
        if (started) {
            EXPECT_EQ(code, 0);
            EXPECT_THAT(m.journal.console, IsEmpty());
        } else {
            for (const auto& file : m.files) ADD_FAILURE() << "left behind: " << file.first;
        }
        ExpectNothingOpen();
    }
    sim::ResetFaults();
}

TEST_F(Relaunch, LeavingTheCurrentDirectoryThatCannotBeReadChangesNothing) {
    m.process.currentDirectory = "E:\\";
    m.process.systemDirectory = "C:\\" + std::string(MAX_PATH, 'w');
    LeaveCurrentDirectory();
    EXPECT_EQ(m.process.currentDirectory, "E:\\");
}

}  // namespace
