// The flash identity record as ReadFlashInfo completes it, for each model family, against
// emulated controllers: what the record holds at the positions later reads use, what the
// completion sends, the entry cleanup, and a failed read in the middle of it.
#include "sdk/transport/pass_through.h"
#include "sdk/controller/vendor_cmd.h"
#include "sim/byte_image.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

class FlashIdentity : public SimTest {
protected:
    void Use(const std::string& profile) {
        controller = AttachController(m, 'E', BuiltInController(profile));
    }
    // Reads the record with `model`, closing the drive afterwards; returns the status.
    int Read(int model) {
        ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        EXPECT_EQ(CSMISCSICmd::OpenSMIDiskUnlocked(&request, "\\\\.\\E:"), 1);
        record.assign(512, 0xCC);
        int status = CSMIVendorCmd::ReadFlashInfo(model, &request, record.data(), 512);
        CSMISCSICmd::CloseSMIDiskHandle(&request);
        ExpectNothingOpen();
        return status;
    }
    void PatchReply(const std::vector<sim::BytePatch>& patches) {
        sim::ApplyPatches(&controller->profile.image.flashInfo, patches);
    }
    // The first three bytes of every command sent, "F0 04 D8".
    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        char text[12];
        for (const sim::ScsiCommandSent& c : m.journal.scsiCommands) {
            std::snprintf(text, sizeof text, "%02X %02X %02X", c.command.cdb[0], c.command.cdb[1],
                          c.command.cdb[2]);
            out.push_back(text);
        }
        return out;
    }
    unsigned Be16At(size_t at) const { return (unsigned(record[at]) << 8) | record[at + 1]; }

    std::shared_ptr<sim::SmiController> controller;
    std::vector<BYTE> record;
};

// Each built-in controller: the record bytes that the information block read uses, and the
// reads the completion makes to get them.
struct ProfileCase {
    const char* profile;
    int model;
    BYTE scanEnable, addressing, flashMaker;  // record bytes 9, 14, 48
    unsigned infoBlock;                       // record bytes 258-259
    BYTE blockSelector;                       // record byte 340
    std::vector<std::string> sent;
};

const ProfileCase kProfiles[] = {
    {"SM3252C", 3, 0x01, 0x00, 0xEC, 0x0000, 0x00, {"F0 20 00"}},
    {"SM3254AD", 12, 0x01, 0x00, 0x98, 0x0020, 0x00, {"F0 20 00"}},
    {"SM3257ENBA", 24, 0x01, 0x20, 0xAD, 0x0040, 0x00, {"F0 06 00", "F0 03 00", "F0 04 F8"}},
    {"SM3260AA",
     26,
     0x01,
     0x10,
     0xEC,
     0x0123,
     0x00,
     {"F0 06 00", "F0 03 00", "F0 04 D8", "F0 04 DC"}},
    {"SM3271AD",
     57,
     0x03,
     0x30,
     0x45,
     0x0200,
     0x00,
     {"F0 06 00", "F0 03 00", "F0 04 D8", "F0 04 DC"}},
    {"SM3281BB", 48, 0x01, 0x20, 0x2C, 0x1234, 0x02, {"F0 06 00", "F0 04 C0"}},
};

class FlashIdentityOf : public FlashIdentity, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(FlashIdentityOf, CompletesTheRecordForItsFamily) {
    const ProfileCase& c = GetParam();
    Use(c.profile);
    ASSERT_EQ(Read(c.model), 0);
    EXPECT_EQ(record[9], c.scanEnable);
    EXPECT_EQ(record[14], c.addressing);
    EXPECT_EQ(record[48], c.flashMaker);
    EXPECT_EQ(Be16At(258), c.infoBlock);
    EXPECT_EQ(record[340], c.blockSelector);
    EXPECT_EQ(Sent(), c.sent);
    ExpectNothingRefused();
}

INSTANTIATE_TEST_SUITE_P(Controllers, FlashIdentityOf, ::testing::ValuesIn(kProfiles),
                         [](const ::testing::TestParamInfo<ProfileCase>& info) {
                             return std::string(info.param.profile);
                         });

// Entry cleanup: which entries count, how large they are, and what clearing an empty one
// reaches.
struct CleanupCase {
    const char* name;
    const char* profile;
    int model;
    std::vector<sim::BytePatch> reply;
    size_t at;  // a record byte the case looks at
    BYTE expected;
};

sim::BytePatch X(size_t at, std::vector<BYTE> bytes) { return sim::BytesAt(at, std::move(bytes)); }

const CleanupCase kCleanups[] = {
    // SM3252C's reply has a stray 5A at 58, in an empty 8-byte entry.
    {"first_generation_clears_an_empty_8_byte_entry", "SM3252C", 3, {}, 58, 0x00},
    {"first_generation_takes_16_byte_entries_when_96_repeats_32",
     "SM3252C",
     3,
     {X(96, {0xEC, 0x75})},
     58,
     0x5A},
    {"unidentified_counts_16_entries_when_160_repeats_32",
     "SM3252C",
     65535,
     {X(160, {0xEC, 0x75}), X(130, {0x77})},
     130,
     0x00},
    {"unidentified_counts_8_entries_otherwise", "SM3252C", 65535, {X(130, {0x77})}, 130, 0x77},
    {"middle_16_entries_clear_the_block_number_in_an_empty_entry_at_256",
     "SM3254AD",
     12,
     {X(176, {0x98, 0x75})},
     259,
     0x00},
    {"middle_8_entries_keep_the_block_number", "SM3254AD", 12, {}, 259, 0x20},
    {"code_20_with_16_entries_clears_256_to_271",
     "SM3257ENBA",
     20,
     {X(176, {0xAD, 0xD7})},
     259,
     0x00},
    {"code_20_keeps_the_entry_at_272_that_is_not_empty",
     "SM3257ENBA",
     20,
     {X(176, {0xAD, 0xD7})},
     273,
     0x41},
    {"codes_26_to_57_always_count_8_entries",
     "SM3260AA",
     26,
     {X(176, {0xEC, 0xD7}), X(200, {0x66})},
     200,
     0x66},
};

class EntryCleanup : public FlashIdentity, public ::testing::WithParamInterface<CleanupCase> {};

TEST_P(EntryCleanup, ClearsEmptyEntries) {
    const CleanupCase& c = GetParam();
    Use(c.profile);
    controller->profile.modelCode = c.model;
    PatchReply(c.reply);
    ASSERT_EQ(Read(c.model), 0);
    EXPECT_EQ(record[c.at], c.expected);
    ExpectNothingRefused();
}

INSTANTIATE_TEST_SUITE_P(Tables, EntryCleanup, ::testing::ValuesIn(kCleanups),
                         [](const ::testing::TestParamInfo<CleanupCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(FlashIdentity, CodeTwentyWithSixteenEntriesClearsAllOf256To271) {
    Use("SM3257ENBA");
    PatchReply({X(176, {0xAD, 0xD7}), X(260, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})});
    ASSERT_EQ(Read(20), 0);
    EXPECT_EQ(std::vector<BYTE>(record.begin() + 256, record.begin() + 272),
              std::vector<BYTE>(16, 0));
}

TEST_F(FlashIdentity, CurrentModelsTakeRegisterBytesFromTheSfrPage) {
    Use("SM3257ENBA");
    ASSERT_EQ(Read(24), 0);
    // record byte <- SFR byte, as the profile's SFR page holds them
    const std::pair<size_t, BYTE> kExpected[] = {
        {10, 0x40}, {11, 0x20}, {13, 0x01}, {14, 0x20}, {15, 0x0F}, {321, 0x03},  // all current
        {12, 0x02}, {16, 0x80}, {17, 0x10}, {18, 0x00}, {19, 0x01}, {20, 0x00},   // codes 20-57
        {21, 0x00}, {22, 0x04}, {23, 0x08}, {24, 0x01}, {25, 0x02}, {309, 0x07},
    };
    for (const auto& e : kExpected)
        EXPECT_EQ(record[e.first], e.second) << "record byte " << e.first;
}

TEST_F(FlashIdentity, CodesBelowTwentyTakeNoGeometryFromTheSfrPage) {
    Use("SM3257ENBA");
    controller->profile.modelCode = 17;
    ASSERT_EQ(Read(17), 0);
    EXPECT_EQ(record[14], 0x20) << "the register bytes move on every current model";
    EXPECT_EQ(record[12], 0x00);
    EXPECT_EQ(record[16], 0x00);
    EXPECT_EQ(record[309], 0x00);
}

TEST_F(FlashIdentity, Codes26To33TakeTheBlockNumbersFromRamPageDC) {
    Use("SM3260AA");
    ASSERT_EQ(Read(26), 0);
    // The reply's own 256-303 now stand at 464-511.
    EXPECT_EQ(std::vector<BYTE>(record.begin() + 464, record.begin() + 468),
              (std::vector<BYTE>{0x00, 0x00, 0x0F, 0xFF}));
    // Page 0xDC bytes 72-95 at 256-279, zeros up to 303.
    EXPECT_EQ(Be16At(258), 0x0123u);
    EXPECT_EQ(Be16At(260), 0x0124u);
    EXPECT_EQ(std::vector<BYTE>(record.begin() + 280, record.begin() + 304),
              std::vector<BYTE>(24, 0));
}

TEST_F(FlashIdentity, SM3271KeepsTheBlockNumbersOfItsReply) {
    Use("SM3271AD");
    controller->profile.image.ramPages[0xDC][74] = 0x77;
    ASSERT_EQ(Read(57), 0);
    EXPECT_EQ(Be16At(258), 0x0200u);
    EXPECT_EQ(Be16At(274), 0x0310u);
}

TEST_F(FlashIdentity, WideAddressModelsRebuildTheRecordFromTheRawReply) {
    Use("SM3281BB");
    ASSERT_EQ(Read(48), 0);
    EXPECT_EQ(Be16At(256), 0x8000u) << "little-endian at 352-353";
    EXPECT_EQ(record[339], 0x05);
    EXPECT_EQ(std::vector<BYTE>(record.begin() + 28, record.begin() + 32),
              (std::vector<BYTE>{0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(record[15], 0x2C);
    EXPECT_EQ(record[16], 0x40) << "settings RAM byte 32";
    ASSERT_EQ(m.journal.scsiCommands.size(), 2u);
    EXPECT_EQ(m.journal.scsiCommands[1].command.cdb[5], 0x00);
    EXPECT_EQ(m.journal.scsiCommands[1].command.cdb[4], 0x18);
}

TEST_F(FlashIdentity, WideAddressPageAddressingBitFollowsTheSettingsRam) {
    Use("SM3281BB");
    controller->profile.image.ramAtAddress[0xC0001800UL][17] = 0x00;
    PatchReply({X(14, {0x20})});
    ASSERT_EQ(Read(48), 0);
    EXPECT_EQ(record[14], 0x00) << "bit 5 cleared, then taken from bit 9 of the word at 16";
}

TEST_F(FlashIdentity, FailedSfrReadReturnsItsStatusWithTheCleanedReply) {
    Use("SM3257ENBA");
    controller->faults.push_back({sim::ControllerForm::SfrReadCurrent, 0, -1, 0});
    EXPECT_EQ(Read(24), -210);
    EXPECT_EQ(record[48], 0xAD);
    EXPECT_EQ(record[10], 0x00) << "no SFR byte moved";
    EXPECT_EQ(Be16At(258), 0x0040u);
    for (const std::string& sent : Sent()) EXPECT_NE(sent, "F0 04 F8") << "no RAM read after it";
}

TEST_F(FlashIdentity, FailedRamPageDCReadReturnsItsStatusBeforeTheMove) {
    Use("SM3260AA");
    controller->faults.push_back({sim::ControllerForm::RamReadCurrent, 0, 0xDC, 0});
    EXPECT_EQ(Read(26), -210);
    EXPECT_EQ(record[14], 0x10) << "the SFR bytes have moved";
    EXPECT_EQ(Be16At(258), 0x0FFFu) << "the block numbers have not";
    EXPECT_EQ(record[432], 0x00) << "the RAM message stays in the completion's own buffer";
}

TEST_F(FlashIdentity, FailedSettingsRamReadOnAWideAddressModel) {
    Use("SM3281BB");
    controller->faults.push_back({sim::ControllerForm::RamReadWide, 0, -1, 0});
    EXPECT_EQ(Read(48), -210);
    EXPECT_EQ(record[48], 0x2C);
    EXPECT_EQ(Be16At(258), 0x0000u) << "the block number is not rebuilt";
}

}  // namespace
