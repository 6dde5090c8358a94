// Ejection by letter: each stage's failure text, the interface class chosen by drive type,
// the interface search and the retry of vetoed requests.
#include "app/eject.h"
#include "tests/support/sim_test.h"

#include <cstring>

namespace {

class Eject : public SimTest {
protected:
    char error[kEjectTextBytes] = "untouched";
};

TEST_F(Eject, SucceedsAndLeavesAnEmptyText) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    EXPECT_TRUE(EjectDrive('E', error));
    EXPECT_STREQ(error, "");
    ASSERT_EQ(m.journal.ejectRequests.size(), 1u);
    EXPECT_EQ(m.journal.ejectRequests[0].devInst, ids.usb);
    EXPECT_EQ(m.clockMs, 0u);
    // The volume of a removable drive is opened for reading and writing.
    EXPECT_EQ(m.journal.fileOpens[0].path, "\\\\.\\E:");
    EXPECT_EQ(m.journal.fileOpens[0].access, GENERIC_READ | GENERIC_WRITE);
    ExpectNothingOpen();
}

TEST_F(Eject, EachStageHasItsOwnFailureText) {
    // Fixed disk, network share, RAM disk and an unknown letter cannot be opened.
    sim::AddFixedDisk(m, 'C', 0);
    sim::AddPlainVolume(m, 'N', DRIVE_REMOTE);
    sim::AddPlainVolume(m, 'R', DRIVE_RAMDISK);
    for (char letter : {'C', 'N', 'R', 'Q'}) {
        EXPECT_FALSE(EjectDrive(letter, error)) << letter;
        EXPECT_STREQ(error, "Can't open Volume.") << letter;
    }
    EXPECT_TRUE(m.journal.fileOpens.empty()) << "nothing is opened for those types";

    sim::AddUsbFlashDrive(m, 'E', 1);
    m.FindVolume('E')->openError = ERROR_SHARING_VIOLATION;
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Can't open Volume.");

    m.FindVolume('E')->openError = 0;
    m.FindVolume('E')->hasDeviceNumber = false;
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Bad device number.");

    m.FindVolume('E')->hasDeviceNumber = true;
    m.FindVolume('E')->deviceNumber = 0xFFFFFFFF;
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Bad device number.");

    m.FindVolume('E')->deviceNumber = 1;
    m.FindVolume('E')->dosDevice.clear();
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Bad dos device name.");

    m.FindVolume('E')->dosDevice = "\\Device\\HarddiskVolume9";
    m.FindVolume('E')->deviceNumber = 7;  // no interface has number 7
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Bad device instance.");

    EXPECT_TRUE(m.journal.ejectRequests.empty());
    ExpectNothingOpen();
}

TEST_F(Eject, VetoThenSuccessPausesOnce) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    m.devices[ids.usb].ejectAnswers = {{CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u"explorer.exe"},
                                       {CR_SUCCESS, PNP_VetoTypeUnknown, u""}};
    EXPECT_TRUE(EjectDrive('E', error));
    EXPECT_STREQ(error, "");
    EXPECT_EQ(m.journal.ejectRequests.size(), 2u);
    EXPECT_EQ(JournalLines("sleep"), std::vector<std::string>{"sleep 500"});
}

TEST_F(Eject, SuccessCodeWithAVetoTypeStillCountsAsVetoed) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    m.devices[ids.usb].ejectAnswers = {{CR_SUCCESS, PNP_VetoDevice, u"Disk&Ven_X"}};
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Disk&Ven_X");
    EXPECT_EQ(m.journal.ejectRequests.size(), 3u);
    EXPECT_EQ(m.clockMs, 1500u);
}

TEST_F(Eject, VetoNameIsConvertedToAnsi) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    m.devices[ids.usb].ejectAnswers = {{CR_REMOVE_VETOED, PNP_VetoWindowsApp, u"caf\u00e9 \u4e2d"}};
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "caf\xe9 ?");
}

TEST_F(Eject, DiskWithoutParentSendsRequestsThatFail) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    m.devices[ids.disk].parent = 0;
    EXPECT_FALSE(EjectDrive('E', error));
    ASSERT_EQ(m.journal.ejectRequests.size(), 3u);
    EXPECT_EQ(m.journal.ejectRequests[0].devInst, 0u);
    EXPECT_STREQ(error, "");
}

TEST_F(Eject, CdromAndFloppyDrivesUseTheirOwnInterfaceClass) {
    // An optical drive is opened with read access alone and found among CD-ROM interfaces,
    // even though a disk interface carries the same number.
    sim::AddOpticalDrive(m, 'D', 3, true);
    DEVINST cdrom = m.interfaces.back().devInst;
    m.devices[cdrom].parent = 0x9000;
    m.devices[0x9000] = {};
    sim::AddUsbFlashDrive(m, 'E', 3);
    EXPECT_TRUE(EjectDrive('D', error));
    EXPECT_EQ(m.journal.fileOpens[0].access, GENERIC_READ);
    EXPECT_EQ(m.journal.ejectRequests.back().devInst, 0x9000u);

    // A removable drive whose DOS device is a floppy is found among floppy interfaces.
    sim::AddPlainVolume(m, 'A', DRIVE_REMOVABLE, true, 3, "\\Device\\Floppy0");
    sim::Interface floppy;
    floppy.interfaceClass = GUID_DEVINTERFACE_FLOPPY;
    floppy.devicePath =
        sim::InterfacePath("fdc#generic_floppy_drive#6&1&0", GUID_DEVINTERFACE_FLOPPY);
    floppy.deviceNumber = 3;
    floppy.devInst = 0x9101;
    m.AddInterface(floppy);
    m.devices[0x9101] = {0x9100, "FDC\\GENERIC_FLOPPY_DRIVE\\1", {}};
    m.devices[0x9100] = {};
    EXPECT_TRUE(EjectDrive('A', error));
    EXPECT_EQ(m.journal.ejectRequests.back().devInst, 0x9100u);
    ExpectNothingOpen();
}

TEST_F(Eject, SkipsInterfacesThatAreTooLargeOrCannotBeOpened) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 4);
    sim::Interface target = m.interfaces.back();
    m.interfaces.clear();
    // Ahead of the right interface: one whose detail needs more than 1024 bytes, one whose
    // path cannot be opened, one whose detail read fails, and one with another number.
    sim::Interface huge = target;
    huge.devicePath = "\\\\?\\usbstor#" + std::string(1100, 'x');
    huge.devInst = 0x7001;
    sim::Interface locked = target;
    locked.devicePath += "-locked";
    locked.openError = ERROR_ACCESS_DENIED;
    locked.devInst = 0x7002;
    sim::Interface broken = target;
    broken.devicePath += "-broken";
    broken.detailError = ERROR_GEN_FAILURE;
    broken.devInst = 0x7003;
    sim::Interface other = target;
    other.devicePath += "-other";
    other.deviceNumber = 5;
    other.devInst = 0x7004;
    for (const sim::Interface& i : {huge, locked, broken, other, target}) m.AddInterface(i);

    EXPECT_EQ(FindDevInstByDeviceNumber(4, DRIVE_REMOVABLE, "\\Device\\HarddiskVolume14"),
              ids.disk);
    EXPECT_EQ(FindDevInstByDeviceNumber(9, DRIVE_REMOVABLE, "\\Device\\HarddiskVolume14"), 0u);
    EXPECT_EQ(FindDevInstByDeviceNumber(4, DRIVE_REMOTE, ""), 0u);
    ExpectNothingOpen();
}

TEST_F(Eject, FirstMatchingInterfaceWins) {
    sim::UsbDriveIds first = sim::AddUsbFlashDrive(m, 'E', 2);
    sim::AddUsbFlashDrive(m, 'F', 2);
    EXPECT_EQ(FindDevInstByDeviceNumber(2, DRIVE_FIXED, "\\Device\\HarddiskVolume1"), first.disk);
}

TEST_F(Eject, ClassSetThatCannotBeCreatedFindsNothing) {
    sim::AddUsbFlashDrive(m, 'E', 2);
    m.failingClassSets.insert("disk");
    EXPECT_FALSE(EjectDrive('E', error));
    EXPECT_STREQ(error, "Bad device instance.");
    ExpectNothingOpen();
}

TEST_F(Eject, NamesTheInstanceIdOfTheDeviceItAskedToEject) {
    sim::UsbDriveIds ids = sim::AddUsbFlashDrive(m, 'E', 2);
    m.devices[ids.usb].ejectAnswers = {{CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, u"x"}};
    char device[kDeviceInstanceIdBytes] = "untouched";
    EXPECT_FALSE(EjectDrive('E', error, device));
    EXPECT_EQ(device, m.devices[ids.usb].instanceId);

    // An ID longer than any Windows gives is not taken, cut or whole.
    m.devices[ids.usb].instanceId = std::string(MAX_DEVICE_ID_LEN + 1, 'u');
    EXPECT_FALSE(EjectDrive('E', error, device));
    EXPECT_STREQ(device, "");

    // A disk without a parent asks nothing to eject; no stage is reached.
    m.devices[ids.disk].parent = 0;
    std::strcpy(device, "untouched");
    EXPECT_FALSE(EjectDrive('E', error, device));
    EXPECT_STREQ(device, "");
    m.FindVolume('E')->openError = ERROR_ACCESS_DENIED;
    std::strcpy(device, "untouched");
    EXPECT_FALSE(EjectDrive('E', error, device));
    EXPECT_STREQ(device, "");
    ExpectNothingOpen();
}

}  // namespace
