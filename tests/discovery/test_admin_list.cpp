// The administrator drive list: the scan's devices, narrowed by the USB strings their
// controllers store only when a filter is given, on the pass-through and the ASPI roads.
#include "sdk/device/device_table.h"
#include "sdk/discovery/admin_list.h"
#include "sdk/scan/controller_scan.h"
#include "sdk/scan/hardware_keys.h"
#include "tests/support/controller_test.h"
#include "sim/fault.h"
#include "tests/support/sim_test.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

class AdminList : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m.account.privilege = USER_PRIV_ADMIN;
    }
    void TearDown() override {
        ExpectNothingRefused();
        ExpectNothingOpen();
        SimTest::TearDown();
    }
    // An emulated controller of `profile` behind drive `letter`, serving these strings.
    std::shared_ptr<sim::SmiController> Drive(char letter, const std::string& profile,
                                              const std::string& manufacturer,
                                              const std::string& product) {
        sim::ControllerProfile p;
        EXPECT_TRUE(sim::FindControllerProfile(profile, &p));
        p.manufacturer = manufacturer;
        p.product = product;
        return AttachController(m, letter, sim::MakeController(p));
    }
    std::string List(const char* vendor, const char* product) {
        char letters[kMaxSMIDisks + 1] = {0};
        int count = ListControllerDriveLetters(letters, vendor, product);
        return std::string(letters, static_cast<size_t>(count));
    }
    // Vendor commands (anything but INQUIRY) the run sent.
    int VendorCommands() const {
        int n = 0;
        for (const sim::ScsiCommandSent& c : m.journal.scsiCommands)
            if (c.command.cdb[0] != 0x12) ++n;
        return n;
    }
};

TEST_F(AdminList, WithoutFiltersEveryScannedDeviceWithNoLockOrRead) {
    Drive('E', "SM3271AD", "Kestrel", "Pocket");
    Drive('G', "SM3257ENBA", "Generic", "Stick");
    Drive('Z', "SM3257ENBA", "Generic", "Stick");  // the last letter is a drive too
    EXPECT_EQ(List(NULL, NULL), "EGZ");
    EXPECT_EQ(VendorCommands(), 0) << "no identification and no string read";
}

struct FilterCase {
    const char* name;
    const char* vendor;
    const char* product;
    const char* letters;
};

class AdminFilters : public AdminList, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(AdminFilters, ExactWholeStringComparisons) {
    Drive('E', "SM3271AD", "Kestrel Labs", "Pocket Drive");
    Drive('F', "SM3281BB", "Generic", "Pocket Drive");
    Drive('G', "SM3252C", "Kestrel Labs", "USB Flash Disk");
    EXPECT_EQ(List(GetParam().vendor, GetParam().product), GetParam().letters);
}

INSTANTIATE_TEST_SUITE_P(Filters, AdminFilters,
                         ::testing::Values(FilterCase{"Vendor", "Kestrel Labs", NULL, "EG"},
                                           FilterCase{"Product", NULL, "Pocket Drive", "EF"},
                                           FilterCase{"Both", "Kestrel Labs", "Pocket Drive", "E"},
                                           FilterCase{"VendorPrefix", "Kestrel", NULL, ""},
                                           FilterCase{"ProductPrefix", NULL, "Pocket", ""},
                                           FilterCase{"VendorOtherCase", "kestrel labs", NULL, ""},
                                           FilterCase{"LongerThanTheString", "Generic ", NULL, ""},
                                           FilterCase{"EmptyFilterMatchesNoString", "", NULL, ""}),
                         [](const ::testing::TestParamInfo<FilterCase>& info) {
                             return info.param.name;
                         });

TEST_F(AdminList, FailedStringReadLeavesTheDeviceOutEvenWithOneFilter) {
    Drive('E', "SM3271AD", "Kestrel", "Pocket");
    auto broken = Drive('F', "SM3257ENBA", "Kestrel", "Pocket");
    // Every flash page read of F fails: neither copy of its block can be read.
    sim::ControllerFault fault;
    fault.form = sim::ControllerForm::FlashPageRead;
    broken->faults.push_back(fault);
    EXPECT_EQ(List("Kestrel", NULL), "E");
}

TEST_F(AdminList, EachLockIsReleasedBeforeTheNextDevice) {
    Drive('E', "SM3271AD", "A", "P");
    Drive('F', "SM3260AA", "A", "P");
    Drive('G', "SM3281BB", "A", "P");
    EXPECT_EQ(List("A", "P"), "EFG");
    // After the scan's probes, the volumes open one at a time: each is closed before the
    // next one opens.
    std::vector<std::string> opensAndCloses;
    for (const std::string& line : m.journal.lines)
        if ((line.compare(0, 5, "open ") == 0 && line.find(" failed") == std::string::npos) ||
            line.compare(0, 6, "close ") == 0)
            opensAndCloses.push_back(line);
    int open = 0;
    for (const std::string& line : opensAndCloses) {
        open += line[0] == 'o' ? 1 : -1;
        EXPECT_LE(open, 1) << "two volumes open at once";
        EXPECT_GE(open, 0) << line;
    }
    EXPECT_EQ(open, 0);
}

// The ASPI road of Windows 98: records from the scan, each handed out and closed again.
class AspiAdminList : public AdminList {
protected:
    void SetUp() override {
        AdminList::SetUp();
        m.version.major = 4;
        m.version.minor = 10;
        m.aspi.installed = true;
        sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI\\SMIMB_0001", "DiskDrive", 'E', 1, 2);
        sim::ControllerProfile p;
        EXPECT_TRUE(sim::FindControllerProfile("SM3252C", &p));
        m.aspi.adapters.push_back({sim::MakeController(p)});
    }
};

TEST_F(AspiAdminList, RefusedIndexAddsNoLetterAndNoClose) {
    // The scan leaves two records (the unit and its closing record); only the unit is
    // handed out, so the second index adds nothing.
    EXPECT_EQ(List(NULL, NULL), "E");
    // Nothing stays loaded (checked on tear-down): a refused index leaves nothing to close.
}

TEST_F(AspiAdminList, FailedVersionQueryWhileHandingOutKeepsTheScansRoad) {
    // The version queries the scan makes; the next one is the first hand-out's road test.
    sim::PlanFault(sim::kNoFault);
    ScanSMIDisks();
    const std::vector<std::string>& asked = sim::FailableCalls();
    size_t scanQueries =
        static_cast<size_t>(std::count(asked.begin(), asked.end(), "GetVersionExA"));
    sim::PlanFaultOf("GetVersionExA", scanQueries);
    // The unit cannot be handed out; the closing record is still not listed from the table,
    // and no library stays loaded (checked on tear-down).
    EXPECT_EQ(List(NULL, NULL), "");
    EXPECT_EQ(sim::InjectedFault(), "GetVersionExA");
    sim::ResetFaults();
}

TEST_F(AspiAdminList, RecordWhoseLetterTheRegistryDidNotGiveIsNotListed) {
    // The hardware-key list is read whole; then the letter look-up cannot open the registry,
    // and the unit's record is written with the byte 0xFF for its letter.
    HWKEYNode* head = NewHWKEYNode();
    sim::PlanFault(sim::kNoFault);
    ParseHWKEYList(head);
    const std::vector<std::string>& asked = sim::FailableCalls();
    size_t listOpens = static_cast<size_t>(std::count(asked.begin(), asked.end(), "RegOpenKeyExA"));
    ReleaseHWKEYList(head);
    sim::PlanFaultOf("RegOpenKeyExA", listOpens);
    EXPECT_EQ(List(NULL, NULL), "") << "no letter, no entry";
    sim::ResetFaults();
    EXPECT_EQ(static_cast<BYTE>(SMIDiskTable[0].driveLetter), 0xFF);
}

TEST_F(AspiAdminList, FilteredListIsEmptyWithoutAVolumeHandle) {
    m.vwin32.present = true;
    // The lock and identification go through vwin32 and ASPI; the string read needs the
    // volume handle that this road never has, so no device passes a filter.
    EXPECT_EQ(List("Generic", NULL), "");
}

}  // namespace
