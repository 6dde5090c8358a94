// The vendor routines against an emulated controller: what they copy out, how far, and
// what a caller finds in its buffer when a read fails.
#include "sdk/transport/pass_through.h"
#include "sdk/controller/vendor_cmd.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const BYTE kUntouched = 0xCC;

class VendorCmd : public SimTest {
protected:
    void Use(const std::string& profile) {
        controller = AttachController(m, 'E', BuiltInController(profile));
    }
    void Open() {
        request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        ASSERT_EQ(CSMISCSICmd::OpenSMIDiskUnlocked(&request, "\\\\.\\E:"), 1);
    }
    void Close() {
        CSMISCSICmd::CloseSMIDiskHandle(&request);
        ExpectNothingOpen();
    }
    void Fail(sim::ControllerForm form) { controller->faults.push_back({form, 0, -1, 0}); }
    std::vector<BYTE> Buffer(size_t size) { return std::vector<BYTE>(size, kUntouched); }

    std::shared_ptr<sim::SmiController> controller;
    ScsiRequest request{};
};

bool AllAre(const std::vector<BYTE>& b, size_t from, size_t to, BYTE value) {
    for (size_t i = from; i < to; ++i)
        if (b[i] != value) return false;
    return true;
}

TEST_F(VendorCmd, RamReadCopiesAtMostItsThreeSectors) {
    Use("SM3257ENBA");
    controller->profile.image.ramPages[0xF8].assign(1536, 0x5A);
    Open();
    std::vector<BYTE> out = Buffer(4096);
    EXPECT_EQ(CSMIVendorCmd::ReadControllerRam(24, &request, 0xF8, out.data(), 4096), 0);
    EXPECT_TRUE(AllAre(out, 0, 1536, 0x5A));
    EXPECT_TRUE(AllAre(out, 1536, 4096, kUntouched)) << "nothing past the local reply is written";
    Close();
    ExpectNothingRefused();
}

TEST_F(VendorCmd, MiddleRamReadMovesTwoSectorsAndNoStaleByteAfterThem) {
    Use("SM3254AD");  // its page 5 fills three sectors; the middle form moves two
    Open();
    std::vector<BYTE> out = Buffer(1536);
    EXPECT_EQ(CSMIVendorCmd::ReadControllerRam(12, &request, 5, out.data(), 1536), 0);
    EXPECT_EQ(out[0], 0x05);
    EXPECT_EQ(out[1023], 0xAA);
    EXPECT_TRUE(AllAre(out, 1024, 1536, 0x00)) << "the unread third sector comes out zero";
    ASSERT_EQ(m.journal.scsiCommands.size(), 1u);
    EXPECT_EQ(m.journal.scsiCommands[0].command.transferLength, 1024u);
    Close();
    ExpectNothingRefused();
}

TEST_F(VendorCmd, SfrReadCopiesAtMostOneSector) {
    Use("SM3257ENBA");
    Open();
    std::vector<BYTE> out = Buffer(1024);
    EXPECT_EQ(CSMIVendorCmd::ReadControllerSfr(24, &request, out.data(), 1024), 0);
    EXPECT_EQ(out[289], 0x40);
    EXPECT_TRUE(AllAre(out, 512, 1024, kUntouched));
    Close();
    ExpectNothingRefused();
}

TEST_F(VendorCmd, FlashInformationFillsTheCallersLengthWithZerosPastTheReply) {
    Use("SM3257ENBA");
    Open();
    std::vector<BYTE> out = Buffer(3000);
    EXPECT_EQ(CSMIVendorCmd::ReadFlashInfo(24, &request, out.data(), 3000), 0);
    EXPECT_EQ(out[48], 0xAD);
    EXPECT_TRUE(AllAre(out, 512, 2560, 0x00));
    EXPECT_TRUE(AllAre(out, 2560, 3000, kUntouched));
    Close();
    ExpectNothingRefused();
}

// A failing read leaves the caller's buffer zeroed with the routine's message at byte 432,
// and never writes past the length the caller gave.
struct FailureCase {
    const char* name;
    sim::ControllerForm form;
    int status;
    const char* message;
    int (*read)(ScsiRequest*, BYTE*, int);
};

const FailureCase kFailures[] = {
    {"ram", sim::ControllerForm::RamReadCurrent, -210, "The Read RAM Command is failed",
     [](ScsiRequest* r, BYTE* out, int n) {
         return CSMIVendorCmd::ReadControllerRam(24, r, 0xF8, out, n);
     }},
    {"sfr", sim::ControllerForm::SfrReadCurrent, -210, "The Read SFR Command is failed",
     [](ScsiRequest* r, BYTE* out, int n) {
         return CSMIVendorCmd::ReadControllerSfr(24, r, out, n);
     }},
    {"flash_information", sim::ControllerForm::FlashInfoCurrent, -181,
     "The Read Flash Command is failed",
     [](ScsiRequest* r, BYTE* out, int n) { return CSMIVendorCmd::ReadFlashInfo(24, r, out, n); }},
};

class VendorFailure : public VendorCmd, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(VendorFailure, ZeroesTheBufferAndWritesTheMessageAt432) {
    const FailureCase& c = GetParam();
    Use("SM3257ENBA");
    Fail(c.form);
    Open();
    std::vector<BYTE> out = Buffer(700);
    EXPECT_EQ(c.read(&request, out.data(), 600), c.status);
    size_t end = 432 + std::strlen(c.message) + 1;
    EXPECT_TRUE(AllAre(out, 0, 432, 0));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()) + 432), c.message);
    EXPECT_TRUE(AllAre(out, end, 600, 0));
    EXPECT_TRUE(AllAre(out, 600, 700, kUntouched)) << "nothing past the caller's length";
    Close();
}

// A buffer of exactly the message's end (463 bytes for a RAM read) gets it; one byte less,
// and the terminator would not fit, gets zeros only.
TEST_P(VendorFailure, WritesTheMessageOnlyWhereItFitsWhole) {
    const FailureCase& c = GetParam();
    Use("SM3257ENBA");
    Fail(c.form);
    Open();
    int need = 432 + static_cast<int>(std::strlen(c.message)) + 1;
    std::vector<BYTE> out = Buffer(512);
    EXPECT_EQ(c.read(&request, out.data(), need), c.status);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()) + 432), c.message);
    EXPECT_EQ(out[need], kUntouched);
    out = Buffer(512);
    EXPECT_EQ(c.read(&request, out.data(), need - 1), c.status);
    EXPECT_TRUE(AllAre(out, 0, need - 1, 0));
    EXPECT_TRUE(AllAre(out, need - 1, 512, kUntouched));
    Close();
}

INSTANTIATE_TEST_SUITE_P(Routines, VendorFailure, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

class FlashPagesRead : public VendorCmd, public ::testing::WithParamInterface<int> {};

// The sector count goes in byte 11, up to the largest it carries, 255.
TEST_P(FlashPagesRead, StraightIntoTheBuffer) {
    const int sectors = GetParam();
    const size_t length = static_cast<size_t>(sectors) * 512;
    Use("SM3271AD");
    sim::FlashPage page;
    page.block = 0x0200;
    page.page = 1;
    page.data.assign(length, 0x12);
    page.control7 = 0x30;
    page.control9 = 0x32;
    controller->profile.image.flashPages.push_back(page);
    Open();
    std::vector<BYTE> out = Buffer(length);
    EXPECT_EQ(CSMIVendorCmd::ReadFlashPages(57, &request, 0x0200, 1, out.data(),
                                            static_cast<int>(length), 0, 0x30, 0x32, 0),
              0);
    EXPECT_TRUE(AllAre(out, 0, length, 0x12));
    ASSERT_EQ(m.journal.scsiCommands.size(), 1u);
    EXPECT_EQ(m.journal.scsiCommands[0].command.cdb[11], sectors);
    Close();
    ExpectNothingRefused();
}

INSTANTIATE_TEST_SUITE_P(Sectors, FlashPagesRead, ::testing::Values(2, 255));

TEST_F(VendorCmd, FailedFlashPagesReadLeavesZeros) {
    Use("SM3271AD");
    Open();  // the image holds no block 0x0777: the controller refuses the read
    std::vector<BYTE> out = Buffer(512);
    EXPECT_EQ(
        CSMIVendorCmd::ReadFlashPages(57, &request, 0x0777, 0, out.data(), 512, 0, 0x10, 0x32, 0),
        -210);
    EXPECT_TRUE(AllAre(out, 0, 512, 0));
    Close();
}

class FlashPagesLength : public VendorCmd, public ::testing::WithParamInterface<int> {};

TEST_P(FlashPagesLength, ThatByteElevenCannotCarrySendsNothing) {
    Use("SM3271AD");
    Open();
    int length = GetParam();
    std::vector<BYTE> out = Buffer(static_cast<size_t>(length) + 16);
    EXPECT_EQ(CSMIVendorCmd::ReadFlashPages(57, &request, 0x0200, 0, out.data(), length, 0, 0x10,
                                            0x32, 0),
              -210);
    EXPECT_TRUE(m.journal.scsiCommands.empty());
    EXPECT_TRUE(AllAre(out, 0, static_cast<size_t>(length), 0));
    EXPECT_TRUE(AllAre(out, static_cast<size_t>(length), out.size(), kUntouched));
    Close();
}

INSTANTIATE_TEST_SUITE_P(Lengths, FlashPagesLength, ::testing::Values(0, 100, 513, 256 * 512));

TEST_F(VendorCmd, RoutinesFailWithoutAnOpenVolume) {
    Use("SM3257ENBA");
    ScsiRequest none = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    std::vector<BYTE> out = Buffer(512);
    EXPECT_EQ(CSMIVendorCmd::ReadControllerSfr(24, &none, out.data(), 512), -210);
    EXPECT_TRUE(m.journal.scsiCommands.empty());
    ExpectNothingOpen();
}

}  // namespace
