// --list and the names it shows: the device tree's friendly name or description of each
// drive's disk device node, bounded and kept to one line.
#include "app/drive_list.h"
#include "app/name_pattern.h"
#include "sim/code_pages.h"
#include "tests/support/sim_test.h"

#include <algorithm>

#include <cstring>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class DriveNames : public SimTest {
protected:
    std::string NameOf(char letter) {
        WCHAR name[64];
        std::fill(name, name + 64, u'x');
        DriveDeviceName(letter, name, 64);
        EXPECT_NE(std::find(name, name + 64, 0), name + 64) << "always terminated";
        return sim::ToUtf8(name);
    }
};

TEST_F(DriveNames, FriendlyNameElseDescriptionElseNothing) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    sim::UsbDriveIds f = sim::AddUsbFlashDrive(m, 'F', 2);
    sim::UsbDriveIds g = sim::AddUsbFlashDrive(m, 'G', 3);
    m.deviceProperties[e.disk].friendlyName = "SMI USB DISK USB Device";
    m.deviceProperties[f.disk].friendlyName.reset();
    m.deviceProperties[g.disk] = {};
    EXPECT_EQ(NameOf('E'), "SMI USB DISK USB Device");
    EXPECT_EQ(NameOf('F'), "Disk drive");
    EXPECT_EQ(NameOf('G'), "");
    ExpectNothingOpen();
}

TEST_F(DriveNames, NameOfTheDiskNodeNotOfTheUsbDevice) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    m.deviceProperties[e.usb].friendlyName = "the USB device";
    EXPECT_EQ(NameOf('E'), "Generic Flash Disk USB Device");
}

TEST_F(DriveNames, EmptyFriendlyNameFallsBackToTheDescription) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    m.deviceProperties[e.disk].friendlyName = "";
    EXPECT_EQ(NameOf('E'), "Disk drive");
}

TEST_F(DriveNames, LongNameIsNotCopiedPastTheBuffer) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    m.deviceProperties[e.disk].friendlyName = std::string(200, 'N');
    // The friendly name does not fit: the description is shown instead.
    EXPECT_EQ(NameOf('E'), "Disk drive");
    m.deviceProperties[e.disk].description = std::string(64, 'D');
    EXPECT_EQ(NameOf('E'), "");
}

TEST_F(DriveNames, NoNameWithoutADeviceNode) {
    sim::AddPlainVolume(m, 'R', DRIVE_REMOVABLE, true, 9, "\\Device\\HarddiskVolume30");
    sim::AddPlainVolume(m, 'S', DRIVE_REMOTE);
    EXPECT_EQ(NameOf('R'), "");
    EXPECT_EQ(NameOf('S'), "");
    EXPECT_EQ(NameOf('Q'), "");
    ExpectNothingOpen();
}

class DriveListing : public SimTest {
protected:
    void RunList() {
        m.process.commandLine = "korvanta.exe --list";
        exitCode = ListDrives();
    }
    int exitCode = -1;
};

TEST_F(DriveListing, EachLetterOnceInLetterOrder) {
    sim::AddUsbFlashDrive(m, 'G', 2);
    sim::AddUsbFlashDrive(m, 'E', 1);
    // A second disk interface with E's device number lists E twice.
    sim::Interface twin = m.interfaces.back();
    twin.devicePath = sim::InterfacePath("usbstor#disk&ven_x&prod_y#2&0", GUID_DEVINTERFACE_DISK);
    m.AddInterface(twin);
    RunList();
    EXPECT_EQ(exitCode, 0);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("E: Generic Flash Disk USB Device",
                                                      "G: Generic Flash Disk USB Device"));
    EXPECT_THAT(m.journal.beeps, IsEmpty());
    EXPECT_THAT(m.journal.ejectRequests, IsEmpty());
    ExpectNothingOpen();
}

TEST_F(DriveListing, ControlCharactersCannotBreakTheLine) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    m.deviceProperties[e.disk].friendlyName = std::string("Evil\nE: Fake\r\x1b[2J");
    RunList();
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("E: Evil?E: Fake??[2J"));
}

TEST_F(DriveListing, DriveWithoutANameIsListedByItsLetter) {
    sim::UsbDriveIds e = sim::AddUsbFlashDrive(m, 'E', 1);
    m.deviceProperties[e.disk] = {};
    RunList();
    EXPECT_EQ(exitCode, 0);
    EXPECT_THAT(m.journal.ConsoleLines(), ElementsAre("E:"));
}

TEST_F(DriveListing, NoDriveWithMediaIsExitCodeOne) {
    sim::AddFixedDisk(m, 'C', 0);
    sim::AddUsbFlashDrive(m, 'E', 1);
    m.FindVolume('E')->mediaPresent = false;
    RunList();
    EXPECT_EQ(exitCode, 1);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.shellOpens, IsEmpty());
    ExpectNothingOpen();
}

// Names as targets match as a whole, in any case, '*' for any run and '?' for one character.
struct PatternCase {
    const char16_t* pattern;
    const char16_t* name;
    bool matches;
};

class NamePatterns : public SimTest, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(NamePatterns, MatchAsAWhole) {
    EXPECT_EQ(NameMatches(GetParam().pattern, GetParam().name), GetParam().matches)
        << sim::ToUtf8(GetParam().pattern) << " / " << sim::ToUtf8(GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamePatterns,
    ::testing::Values(PatternCase{u"my stick", u"MY STICK", true},
                      PatternCase{u"MY STICK", u"MY STICK 2", false}, PatternCase{u"*", u"", true},
                      PatternCase{u"?", u"", false}, PatternCase{u"", u"", false},
                      PatternCase{u"*ab", u"aab", true},
                      PatternCase{u"san*device", u"SanDisk Cruzer USB Device", true},
                      PatternCase{u"фото?", u"ФОТО1", true},
                      PatternCase{u"x?y", u"x\U0001F4BEy", true}, PatternCase{u"ß", u"SS", false}));
}  // namespace
