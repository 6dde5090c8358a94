// User-mode enumeration: which interfaces count as supported drives, how letters pair with
// them, the order of the result and the table limits.
#include "sdk/discovery/user_mode.h"
#include "tests/support/sim_test.h"

#include <cstring>

namespace {

class UserMode : public SimTest {
protected:
    // Runs the enumeration into a sentinel-filled buffer and returns the letters written.
    std::string Letters() {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        int count = -1;
        EXPECT_EQ(GetUserModeDiskLetters(buffer, &count), 1);
        EXPECT_GE(count, 0);
        EXPECT_LE(count, kMaxUserModeLetters);
        EXPECT_EQ(buffer[count], '#') << "the list is not terminated and nothing more is written";
        return std::string(buffer, static_cast<size_t>(count));
    }

    sim::Interface& AddInterface(const GUID& cls, const std::string& ids, DWORD number) {
        sim::Interface i;
        i.interfaceClass = cls;
        i.devicePath = sim::InterfacePath(ids, cls);
        i.deviceNumber = number;
        return m.AddInterface(i);
    }
    sim::Interface& AddDiskInterface(const std::string& ids, DWORD number) {
        return AddInterface(GUID_DEVINTERFACE_DISK, ids, number);
    }

    void AddVolume(char letter, UINT type, DWORD number) {
        sim::Volume v;
        v.letter = letter;
        v.driveType = type;
        v.deviceNumber = number;
        m.AddVolume(v);
    }
};

TEST_F(UserMode, OneUsbVolume) {
    sim::AddFixedDisk(m, 'C', 0);
    sim::AddUsbFlashDrive(m, 'E', 2);
    EXPECT_EQ(Letters(), "E");
    ExpectNothingOpen();
}

TEST_F(UserMode, TwoVolumesOfOneDiskBothListed) {
    sim::AddUsbFlashDrive(m, 'E', 2);
    AddVolume('F', DRIVE_REMOVABLE, 2);
    EXPECT_EQ(Letters(), "EF");
}

TEST_F(UserMode, CompositeCdromAndDiskListsTheCdromUnitFirst) {
    AddInterface(GUID_DEVINTERFACE_CDROM, "usbstor#cdrom&ven_smi&prod_autorun#1&0", 0);
    AddDiskInterface("usbstor#disk&ven_smi&prod_flash#1&1", 3);
    AddVolume('H', DRIVE_REMOVABLE, 3);
    AddVolume('G', DRIVE_CDROM, 0);
    EXPECT_EQ(Letters(), "GH");
}

TEST_F(UserMode, CdromMatchNeedsACdromDrive) {
    AddInterface(GUID_DEVINTERFACE_CDROM, "usbstor#cdrom&ven_smi&prod_autorun#1&0", 0);
    AddVolume('G', DRIVE_REMOVABLE, 0);  // same number, but not an optical drive
    EXPECT_EQ(Letters(), "");
}

TEST_F(UserMode, InternalDiskIsNeverListed) {
    sim::AddFixedDisk(m, 'C', 2);
    EXPECT_EQ(Letters(), "");
}

TEST_F(UserMode, PathFilterIsCaseSensitive) {
    AddVolume('E', DRIVE_REMOVABLE, 2);
    // SetupAPI hands out lower-case paths; one in capitals, as no builder makes it, fails
    // every test.
    AddDiskInterface("x", 2).devicePath = "\\\\?\\USBSTOR#DISK&VEN_X&PROD_Y#1&0#{guid}";
    EXPECT_EQ(Letters(), "") << "capitals fail every test";

    struct Case {
        const char* ids;
        bool supported;
    };
    for (const Case& c :
         {Case{"scsi#disk&ven_smi&prod_z#1", true}, Case{"scsi#disk&ven_buffalo#1", true},
          Case{"scsi#disk&ven_kingmax#1", true}, Case{"scsi#disk&ven_smix&prod#1", false},
          Case{"scsi#disk&ven_Buffalo#1", false}}) {
        m.interfaces.clear();
        AddDiskInterface("x", 2).devicePath = std::string("\\\\?\\") + c.ids + "#{guid}";
        EXPECT_EQ(Letters(), c.supported ? "E" : "") << c.ids;
    }
}

TEST_F(UserMode, DrivesAndInterfacesWithoutNumbersAreLeftOut) {
    sim::AddUsbFlashDrive(m, 'E', 2);
    m.FindVolume('E')->hasDeviceNumber = false;
    EXPECT_EQ(Letters(), "");
    m.FindVolume('E')->hasDeviceNumber = true;
    m.interfaces.back().openError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Letters(), "");
    ExpectNothingOpen();
}

TEST_F(UserMode, ARejectedAcceptedInterfaceIsOverwrittenByTheNext) {
    AddDiskInterface("usbstor#disk&a#1", 7).hasDeviceNumber = false;
    AddDiskInterface("usbstor#disk&b#2", 2);
    AddVolume('E', DRIVE_REMOVABLE, 2);
    AddVolume('F', DRIVE_REMOVABLE, 7);
    EXPECT_EQ(Letters(), "E");
}

TEST_F(UserMode, ClassSetThatCannotBeCreatedLeavesTheOtherClass) {
    sim::AddUsbFlashDrive(m, 'E', 2);
    m.failingClassSets.insert("cdrom");
    EXPECT_EQ(Letters(), "E");
    m.failingClassSets = {"disk"};
    EXPECT_EQ(Letters(), "");
    ExpectNothingOpen();
}

TEST_F(UserMode, FailedDetailReadEndsThatClassWalk) {
    AddDiskInterface("usbstor#disk&a#1", 1);
    AddDiskInterface("usbstor#disk&b#2", 2).detailError = ERROR_GEN_FAILURE;
    AddDiskInterface("usbstor#disk&c#3", 3);
    AddVolume('E', DRIVE_REMOVABLE, 1);
    AddVolume('F', DRIVE_REMOVABLE, 3);
    EXPECT_EQ(Letters(), "E");

    // A path too long for the detail buffer stops the walk the same way.
    m.interfaces[1].detailError = 0;
    m.interfaces[1].devicePath = "\\\\?\\usbstor#" + std::string(1100, 'x');
    EXPECT_EQ(Letters(), "E");
    ExpectNothingOpen();
}

TEST_F(UserMode, CdromNumberEqualToAUsbDiskNumberIsListedThroughTheDiskMatch) {
    sim::AddOpticalDrive(m, 'D', 2, true);
    sim::AddUsbFlashDrive(m, 'E', 2);
    EXPECT_EQ(Letters(), "DE");
}

TEST_F(UserMode, TracesEveryInterfaceBeforeTheFilter) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    sim::AddFixedDisk(m, 'C', 0);
    sim::AddUsbFlashDrive(m, 'E', 2);
    Letters();
    ASSERT_EQ(m.journal.debugOutput.size(), 2u);
    EXPECT_EQ(m.journal.debugOutput[0].text,
              "pDetail->DevicePath: " + m.interfaces[0].devicePath + " \n");
    EXPECT_EQ(m.journal.debugOutput[1].text,
              "pDetail->DevicePath: " + m.interfaces[1].devicePath + " \n");
}

TEST_F(UserMode, LongPathsAndFullTablesStayWithinTheirLimits) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    // A 600-character path fits the detail buffer but not the 512-character path field or
    // the 256-character trace line.
    AddDiskInterface("usbstor#disk&" + std::string(600, 'l'), 9);
    AddVolume('L', DRIVE_REMOVABLE, 9);
    // 70 accepted interfaces on disk 2 with volumes E: and F: would make 140 matches.
    for (int i = 0; i < 70; ++i) AddDiskInterface("usbstor#disk&n#" + std::to_string(i), 2);
    AddVolume('E', DRIVE_REMOVABLE, 2);
    AddVolume('F', DRIVE_REMOVABLE, 2);

    std::string letters = Letters();
    EXPECT_EQ(letters.size(), static_cast<size_t>(kMaxUserModeLetters));
    EXPECT_EQ(letters.find('L'), std::string::npos) << "a path that does not fit is left out";
    EXPECT_EQ(letters.substr(0, 4), "EFEF");
    EXPECT_EQ(m.journal.debugOutput.size(), 71u);
    EXPECT_EQ(m.journal.debugOutput[0].text.size(), 255u);
    ExpectNothingOpen();
}

}  // namespace
