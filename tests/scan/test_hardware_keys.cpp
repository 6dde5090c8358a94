// Drive letters of SMI devices from the Windows 9x and ME registry: which hardware keys
// match, how units pair into devices, the letter of the n-th key, the release, and every
// key closed on every path.
#include "sdk/scan/hardware_keys.h"
#include "tests/support/sim_test.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kCdKey98[] = "SCSI\\SMI_USB_DISK\\SMIMB_7F00";
const char kDiskKey98[] = "SCSI\\SMI_USB_DISK\\SMIMB_7F01";
const char kCdKeyMe[] = "SCSI\\SMI\\USBSTOR&CDROM&0123456789&00";
const char kDiskKeyMe[] = "SCSI\\SMI\\USBSTOR&DISK&0123456789&01";

class HardwareKeys : public SimTest {
protected:
    void Windows98() {
        m.version.major = 4;
        m.version.minor = 10;
    }
    void WindowsMe() {
        m.version.major = 4;
        m.version.minor = 90;
    }
    // Builds the list, checks it, and hands it back for inspection; TearDown releases it.
    int Parse() {
        head = NewHWKEYNode();
        return ParseHWKEYList(head);
    }
    std::vector<const HWKEYNode*> Entries() const {
        std::vector<const HWKEYNode*> out;
        for (const HWKEYNode* e = head->next; e != NULL; e = e->next) out.push_back(e);
        return out;
    }
    void TearDown() override {
        if (head) ReleaseHWKEYList(head);
        ExpectNothingOpen();
        SimTest::TearDown();
    }
    std::vector<std::string> Trace() const {
        std::vector<std::string> out;
        for (const auto& d : m.journal.debugOutput) out.push_back(d.text);
        return out;
    }
    HWKEYNode* head = nullptr;
};

TEST_F(HardwareKeys, CompositeDeviceOn98IsOneEntryWithBothUnits) {
    Windows98();
    sim::AddLegacyUnit(m, "C1000", kCdKey98, "CDROM", 'G', 0, 0);
    sim::AddLegacyUnit(m, "C1001", kDiskKey98, "DiskDrive", 'H', 1, 0);
    sim::AddLegacyUnit(m, "C1002", "ROOT\\*PNP0A03\\0000", "System", 'C', 0, 0);
    EXPECT_EQ(Parse(), 2);
    ASSERT_EQ(Entries().size(), 1u);
    const HWKEYNode& e = *Entries()[0];
    EXPECT_EQ(e.cdromIndex, 1);
    EXPECT_EQ(e.removableIndex, 2);
    EXPECT_STREQ(e.firstKey, kCdKey98);
    EXPECT_STREQ(e.secondKey, kDiskKey98);
    EXPECT_EQ(e.unitLetter[1], 'G');
    EXPECT_EQ(e.unitLetter[2], 'H');
    EXPECT_EQ(e.unitLun[2], 1);
    EXPECT_EQ(e.unitLetter[0], 0);
    EXPECT_THAT(Trace(), IsEmpty()) << "nothing is traced outside Windows ME";
}

TEST_F(HardwareKeys, DiskOnlyDeviceAndSeparateDevices) {
    Windows98();
    sim::AddLegacyUnit(m, "C1000", kDiskKey98, "DiskDrive", 'E', 2, 3);
    sim::AddLegacyUnit(m, "C1001", "SCSI\\OTHER_DISK\\SMIMB_9A01", "DiskDrive", 'F', 0, 1);
    EXPECT_EQ(Parse(), 2);
    ASSERT_EQ(Entries().size(), 2u);
    const HWKEYNode& e = *Entries()[0];
    EXPECT_EQ(e.cdromIndex, 0);
    EXPECT_EQ(e.removableIndex, 2);
    EXPECT_EQ(e.unitLetter[2], 'E');
    EXPECT_EQ(e.unitLun[2], 2);
    EXPECT_EQ(e.unitTarget[2], 3);
    EXPECT_EQ(Entries()[1]->unitLetter[2], 'F');
}

TEST_F(HardwareKeys, ClassBeginningWithCdromMakesTheCdromUnit) {
    Windows98();
    sim::AddLegacyUnit(m, "C1000", kCdKey98, "CDROMDRIVE", 'G', 0, 0);
    sim::AddLegacyUnit(m, "C1001", "SCSI\\X\\SMIMB_1100", "cdrom", 'K', 0, 0);
    EXPECT_EQ(Parse(), 2);
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_EQ(Entries()[0]->cdromIndex, 1);
    EXPECT_EQ(Entries()[1]->cdromIndex, 0) << "the compare is case-sensitive";
    EXPECT_EQ(Entries()[1]->removableIndex, 2);
}

TEST_F(HardwareKeys, MatchingRules) {
    struct Case {
        const char* key;
        bool me;
        bool matches;
    };
    for (const Case& c : {Case{kCdKey98, false, true}, Case{"SCSI\\SMI\\SMIMA_1", false, false},
                          Case{"SMIMB_0", false, false}, Case{"A\\SMIMB", false, false},
                          Case{"A\\B\\SMIMB", false, true}, Case{kDiskKeyMe, true, true},
                          Case{kCdKeyMe, true, true}, Case{kCdKey98, true, false},
                          Case{"USB\\SMI\\USBSTOR&DISK&1&0", true, false},
                          Case{"SCSI\\SMI\\USBSTOR&FLOPPY&1", true, false}, Case{"", true, false}})
        EXPECT_EQ(IsSMIHardwareKey(c.key, c.me), c.matches) << c.key << (c.me ? " on ME" : "");
}

TEST_F(HardwareKeys, MePairsByTheSecondToLastField) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    WindowsMe();
    sim::AddLegacyUnit(m, "C1000", kCdKeyMe, "CDROM", 'G', 0, 0);
    sim::AddLegacyUnit(m, "C1001", kDiskKeyMe, "DiskDrive", 'H', 0, 0);
    sim::AddLegacyUnit(m, "C1002", "SCSI\\SMI\\USBSTOR&DISK&9876543210&00", "DiskDrive", 'J', 0, 0);
    sim::AddLegacyUnit(m, "C1003", "ROOT\\PRINTER\\0000", "Printer", 'Z', 0, 0);
    EXPECT_EQ(Parse(), 3);
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_EQ(Entries()[0]->cdromIndex, 1);
    EXPECT_EQ(Entries()[0]->removableIndex, 2);
    EXPECT_EQ(Entries()[1]->unitLetter[2], 'J');
    EXPECT_THAT(Trace(), ElementsAre("***FindIt***", "***FindIt***", "***FindIt***",
                                     "ROOT                    0000"));
}

TEST_F(HardwareKeys, MeKeysWithoutTwoFieldsPairWithNothing) {
    // "&&" and a single field leave no second-to-last field: such keys never read outside
    // themselves and always make an entry of their own.
    EXPECT_FALSE(HardwareKeysPair("SCSI\\SMI\\USBSTOR&DISK", "SCSI\\SMI\\USBSTOR&DISK", true));
    EXPECT_FALSE(HardwareKeysPair("SCSI\\SMI\\USBSTOR&&", "SCSI\\SMI\\USBSTOR&CDROM&1&0", true));
    EXPECT_TRUE(HardwareKeysPair(kDiskKeyMe, kCdKeyMe, true));
    EXPECT_FALSE(HardwareKeysPair(kDiskKeyMe, "SCSI\\SMI\\USBSTOR&CDROM&0123450000&00", true));
    EXPECT_TRUE(HardwareKeysPair(kDiskKey98, kCdKey98, false));
    EXPECT_FALSE(HardwareKeysPair("SCSI\\SMI_USB_DISK\\SMIMB_7E01", kCdKey98, false));

    WindowsMe();
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\USBSTOR&DISK", "DiskDrive", 'E', 0, 0);
    sim::AddLegacyUnit(m, "C1001", "SCSI\\SMI\\USBSTOR&DISK", "DiskDrive", 'E', 0, 0);
    EXPECT_EQ(Parse(), 2);
    EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(HardwareKeys, FindDiskLetterCountsMatchingKeysInRegistryOrder) {
    Windows98();
    sim::AddLegacyUnit(m, "C1000", "ROOT\\X\\0000", "System", 'C', 0, 0);
    sim::AddLegacyUnit(m, "C1001", kCdKey98, "CDROM", 'G', 0, 0);
    sim::AddLegacyUnit(m, "C1002", kDiskKey98, "DiskDrive", 'H', 0, 0);
    char letter = 0;
    EXPECT_EQ(FindDiskLetter(&letter, 0), 1);
    EXPECT_EQ(letter, 'G');
    EXPECT_EQ(FindDiskLetter(&letter, 1), 1);
    EXPECT_EQ(letter, 'H');
    EXPECT_EQ(FindDiskLetter(&letter, 2), 0);
    EXPECT_EQ(static_cast<BYTE>(letter), 0xFF);
    ExpectNothingOpen();
}

TEST_F(HardwareKeys, ReleaseTracesEachEntry) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
    Windows98();
    sim::AddLegacyUnit(m, "C1000", kCdKey98, "CDROM", 'G', 0, 0);
    sim::AddLegacyUnit(m, "C1001", kDiskKey98, "DiskDrive", 'H', 0, 0);
    sim::AddLegacyUnit(m, "C1002", "SCSI\\OTHER\\SMIMB_1", "DiskDrive", 'K', 0, 0);
    Parse();
    ReleaseHWKEYList(head);
    head = nullptr;
    // The entry without a CD-ROM unit formats the NUL at index 0, which ends its line.
    EXPECT_THAT(Trace(), ElementsAre("Releaseing now...", " CDROMExist[G] , RemoveExist[H]",
                                     "Releaseing now...", " CDROMExist["));
}

TEST_F(HardwareKeys, LiveDeviceListMissing) {
    Windows98();
    sim::AddLegacyUnit(m, "C1000", kCdKey98, "CDROM", 'G', 0, 0);
    m.registry.Key(HKEY_DYN_DATA, "Config Manager\\Enum").openError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Parse(), 0);
    EXPECT_THAT(Entries(), IsEmpty());
    char letter = 0;
    EXPECT_EQ(FindDiskLetter(&letter, 0), 0);
    EXPECT_EQ(static_cast<BYTE>(letter), 0xFF);
}

TEST_F(HardwareKeys, FailureInTheMiddleClosesEverythingAndKeepsEarlierEntries) {
    Windows98();
    sim::AddLegacyUnit(m, "C1000", "SCSI\\A\\SMIMB_0001", "DiskDrive", 'E', 0, 0);
    sim::AddLegacyUnit(m, "C1001", "SCSI\\B\\SMIMB_0001", "DiskDrive", 'F', 0, 0);
    sim::AddLegacyUnit(m, "C1002", "SCSI\\C\\SMIMB_0001", "DiskDrive", 'G', 0, 0);
    struct Failure {
        const char* name;
        void (*arrange)(sim::Machine&);
    };
    const Failure failures[] = {
        {"unit key refuses to open",
         [](sim::Machine& m) {
             m.registry.Key(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\B\\SMIMB_0001").openError =
                 ERROR_ACCESS_DENIED;
         }},
        {"SCSILUN missing",
         [](sim::Machine& m) {
             m.registry.Key(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\B\\SMIMB_0001")
                 .values.erase("SCSILUN");
         }},
        {"node without HardWareKey",
         [](sim::Machine& m) {
             m.registry.Key(HKEY_DYN_DATA, "Config Manager\\Enum\\C1001").values.clear();
         }},
        {"value too long",
         [](sim::Machine& m) {
             m.registry.SetString(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\B\\SMIMB_0001", "Class",
                                  std::string(300, 'x'));
         }},
    };
    for (const Failure& f : failures) {
        sim::Machine saved = m;
        f.arrange(m);
        HWKEYNode* list = NewHWKEYNode();
        EXPECT_EQ(ParseHWKEYList(list), 0) << f.name;
        ASSERT_NE(list->next, nullptr) << f.name;
        EXPECT_EQ(list->next->unitLetter[2], 'E') << f.name;
        EXPECT_EQ(list->next->next, nullptr) << f.name << ": only the entry before the failure";
        ReleaseHWKEYList(list);
        EXPECT_EQ(m.OpenObjects().registryKeys, 0) << f.name;
        char letter = 0;
        FindDiskLetter(&letter, 2);
        EXPECT_EQ(m.OpenObjects().registryKeys, 0) << f.name;
        m = saved;
    }
}

}  // namespace
