// The controller emulator's contract: it answers by decoding the fields of a command, the
// way the modelled controller family would, refuses (with a reason) what that family does
// not understand or its image does not hold, fails chosen forms on demand, and keeps what
// was written to it.
#include "sdk/transport/pass_through.h"
#include "sim/controller_profiles.h"
#include "sim/smi_controller.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"

#include <string>
#include <vector>

namespace {

sim::ScsiCommand Command(const std::string& hex, sim::DataDirection direction, DWORD length) {
    std::vector<BYTE> bytes;
    EXPECT_TRUE(sim::ParseHexBytes(hex, &bytes)) << hex;
    sim::ScsiCommand c;
    for (size_t i = 0; i < bytes.size() && i < 16; ++i) c.cdb[i] = bytes[i];
    c.cdbLength = 16;
    c.direction = direction;
    c.transferLength = length;
    return c;
}

const auto In = sim::DataDirection::In;
const auto Out = sim::DataDirection::Out;

class Controller : public SimTest {
protected:
    // Sends one command straight to the controller; `data` is resized to the length.
    bool Send(sim::SmiController& c, const std::string& hex, sim::DataDirection direction,
              DWORD length) {
        data.resize(length, 0xCC);
        DWORD transferred = 0;
        return c.Execute(Command(hex, direction, length), data.data(), length, &transferred);
    }
    std::vector<BYTE> data;
};

TEST_F(Controller, EarlyFormReadOfPage5ReturnsPage5) {
    auto c = BuiltInController("SM3252C");
    c->profile.image.ramPages[4].assign(1536, 0x44);
    c->profile.image.ramPages[5].assign(1536, 0x55);
    c->profile.image.ramPages[6].assign(1536, 0x66);
    ASSERT_TRUE(Send(*c, "F0 2A 00 00 00 00 00 05 00 00 00 03", In, 1536));
    EXPECT_EQ(data, std::vector<BYTE>(1536, 0x55));
    EXPECT_TRUE(c->refused.empty());
}

TEST_F(Controller, PageShorterThanTheTransferIsPaddedWithZeros) {
    auto c = BuiltInController("SM3257ENBA");
    c->profile.image.ramPages[0x10].assign(512, 0x10);
    ASSERT_TRUE(Send(*c, "F0 04 10 00 00 00 00 00 00 00 00 03", In, 1536));
    EXPECT_EQ(data[511], 0x10);
    EXPECT_EQ(data[512], 0x00);
    EXPECT_EQ(data[1535], 0x00);
}

// Commands the modelled controller would not take, and why.
struct RefusalCase {
    const char* name;
    const char* profile;
    const char* cdb;
    sim::DataDirection direction;
    DWORD length;
    const char* reason;  // part of the recorded reason
};

const RefusalCase kRefusals[] = {
    {"other_sfr_form_on_current", "SM3271AD", "F0 26 00 00 00 00 00 00 00 00 00 01", In, 512,
     "does not answer sfrReadOther"},
    {"current_ram_form_on_early", "SM3252C", "F0 04 05 00 00 00 00 00 00 00 00 03", In, 1536,
     "does not answer ramReadCurrent"},
    {"early_ram_form_on_current", "SM3260AA", "F0 2A 00 00 00 00 00 D8 00 00 00 03", In, 1536,
     "does not answer ramReadEarly"},
    {"middle_form_naming_two_pages", "SM3254AD", "F0 30 05 00 04 00 00 06 00 00 00 02", In, 1024,
     "names two pages"},
    {"middle_flash_information_without_its_mark", "SM3254AD", "F0 20 00 00 00 00 00 00 00 00 00 01",
     In, 512, "in byte 12"},
    {"early_flash_information_with_the_middle_mark", "SM3252C",
     "F0 20 00 00 00 00 00 00 00 00 00 01 07", In, 512, "in byte 12"},
    {"stray_byte", "SM3257ENBA", "F0 04 F8 00 00 00 00 01 00 00 00 03", In, 1536, "byte 7"},
    {"transfer_shorter_than_the_sectors", "SM3257ENBA", "F0 04 F8 00 00 00 00 00 00 00 00 03", In,
     512, "moves 1536"},
    {"page_the_image_lacks", "SM3257ENBA", "F0 04 DC 00 00 00 00 00 00 00 00 03", In, 1536,
     "no RAM page 0xDC"},
    {"address_the_image_lacks", "SM3281BB", "F0 04 C0 00 20 00 00 00 00 00 00 03", In, 1536,
     "no RAM at 0xC0002000"},
    {"one_sector_read_of_an_ordinary_page", "SM3257ENBA", "F0 04 F8 00 00 00 00 00 00 00 00 01", In,
     512, "in 1 sectors"},
    {"memory_read_past_the_range", "SM3271AD", "F0 F0 03 FF 00 4D 00 10", In, 16,
     "no readable memory"},
    {"write_to_read_only_memory", "SM3271AD", "F1 F0 03 FF 00 4D 00 02", Out, 2,
     "no writable memory"},
    {"code_block_load_on_early", "SM3252C", "F1 0A C8 00 00 00 00 00 00 00 00 01", Out, 512,
     "does not answer codeBlockLoad"},
    {"image_load_on_current", "SM3271AD", "F1 27 08 F2 D0 00 04 00 00 00 10 04 00 00 07 00", Out,
     2048, "does not answer imageLoad"},
    {"image_load_with_other_fields", "SM3252C", "F1 27 08 F2 D0 00 04 00 00 00 10 04", Out, 2048,
     "other fields"},
    {"read_sent_as_data_out", "SM3271AD", "F0 06 00 00 00 00 00 00 00 00 00 01", Out, 512,
     "wrong data direction"},
    {"unknown_operation", "SM3271AD", "F0 99", In, 512, "read operation 0x99"},
    {"unknown_opcode", "SM3271AD", "28 00 00 00 00 00 00 00 01", In, 512, "opcode 0x28"},
};

class Refusal : public Controller, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, FailsTheTransferAndKeepsTheReason) {
    const RefusalCase& r = GetParam();
    auto c = BuiltInController(r.profile);
    EXPECT_FALSE(Send(*c, r.cdb, r.direction, r.length));
    ASSERT_EQ(c->refused.size(), 1u);
    EXPECT_NE(c->refused[0].reason.find(r.reason), std::string::npos) << c->refused[0].reason;
    EXPECT_EQ(c->refused[0].controller, r.profile);
    EXPECT_TRUE(c->memoryWrites.empty());
}

INSTANTIATE_TEST_SUITE_P(Forms, Refusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

// Every profile, built-in or added for a model, answers what identification sends to every
// device and the forms of its own family.
class EveryProfile : public Controller,
                     public ::testing::WithParamInterface<sim::ControllerProfile> {};

TEST_P(EveryProfile, AnswersIdentificationAndItsFamilysForms) {
    auto c = sim::MakeController(GetParam());
    const std::string name = GetParam().name;
    ASSERT_TRUE(Send(*c, "12 00 00 00 38 00", In, 56));
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 11), "SMI");
    EXPECT_EQ(std::string(data.begin() + 5, data.begin() + 8), "SMI");
    EXPECT_TRUE(Send(*c, "F0 04 00 00 00 00 00 00 00 00 00 01", In, 512));
    ASSERT_TRUE(Send(*c, "F0 2A 00 00 00 00 00 00 00 00 00 01", In, 512));
    EXPECT_EQ(std::string(data.begin() + 430, data.begin() + 432), "SM");
    // What the page and the memory name say is each road's own (a revision name, a model
    // that names itself after its predecessor); identification's tests check the outcome.
    EXPECT_TRUE(Send(*c, "F0 F0 03 FF 00 4D 00 08", In, 8));
    switch (GetParam().family) {
        case sim::ControllerFamily::Early:
            EXPECT_TRUE(Send(*c, "F0 20 00 00 00 00 00 00 00 00 00 01", In, 512));
            EXPECT_TRUE(Send(*c, "F0 26 00 00 00 00 00 00 00 00 00 01", In, 512));
            break;
        case sim::ControllerFamily::Middle:
            EXPECT_TRUE(Send(*c, "F0 20 00 00 00 00 00 00 00 00 00 01 07", In, 512));
            EXPECT_TRUE(Send(*c, "F0 26 00 00 00 00 00 00 00 00 00 01", In, 512));
            break;
        case sim::ControllerFamily::Current:
            EXPECT_TRUE(Send(*c, "F0 06 00 00 00 00 00 00 00 00 00 01", In, 512));
            EXPECT_TRUE(Send(*c, "F0 03 00 00 00 00 00 00 00 00 00 01", In, 512));
            break;
        case sim::ControllerFamily::WideAddress:
            EXPECT_TRUE(Send(*c, "F0 06 00 00 00 00 00 00 00 00 00 01", In, 512));
            EXPECT_TRUE(Send(*c, "F0 03 00 00 00 00 00 00 00 00 00 01", In, 512));
            EXPECT_TRUE(Send(*c, "F0 04 C0 00 18 00 00 00 00 00 00 03", In, 1536));
            break;
    }
    for (const sim::RefusedCommand& r : c->refused) ADD_FAILURE() << name << ": " << r.reason;
}

INSTANTIATE_TEST_SUITE_P(Profiles, EveryProfile,
                         ::testing::ValuesIn(sim::BuiltInControllerProfiles()), ProfileTestName);

TEST_F(Controller, EarlyControllerNamesNothingInTheCurrentFormPage) {
    auto c = BuiltInController("SM3252C");
    ASSERT_TRUE(Send(*c, "F0 04 00 00 00 00 00 00 00 00 00 01", In, 512));
    EXPECT_NE(std::string(data.begin() + 430, data.begin() + 432), "SM");
}

TEST_F(Controller, FaultFailsTheFirstTimesThenAnswers) {
    auto c = BuiltInController("SM3257ENBA");
    c->faults.push_back({sim::ControllerForm::SfrReadCurrent, 2, -1, 0});
    EXPECT_FALSE(Send(*c, "F0 03 00 00 00 00 00 00 00 00 00 01", In, 512));
    EXPECT_FALSE(Send(*c, "F0 03 00 00 00 00 00 00 00 00 00 01", In, 512));
    EXPECT_TRUE(Send(*c, "F0 03 00 00 00 00 00 00 00 00 00 01", In, 512));
    EXPECT_TRUE(c->refused.empty()) << "an injected failure is not a refusal";
}

TEST_F(Controller, FaultAtOnePageLeavesTheOthersAlone) {
    auto c = BuiltInController("SM3260AA");
    c->faults.push_back({sim::ControllerForm::RamReadCurrent, 0, 0xDC, 0});
    EXPECT_TRUE(Send(*c, "F0 04 D8 00 00 00 00 00 00 00 00 03", In, 1536));
    EXPECT_FALSE(Send(*c, "F0 04 DC 00 00 00 00 00 00 00 00 03", In, 1536));
    EXPECT_FALSE(Send(*c, "F0 04 DC 00 00 00 00 00 00 00 00 03", In, 1536));
}

TEST_F(Controller, MemoryWriteLandsInItsRangeAndIsKept) {
    auto c = BuiltInController("SM3281BB");
    c->profile.image.memory.push_back({0xE0, 0x00006C, {0x11, 0x22, 0x33}, true, true});
    data = {0x0D, 0x22};
    DWORD transferred = 0;
    ASSERT_TRUE(
        c->Execute(Command("F1 F0 E0 00 00 6C 00 02", Out, 2), data.data(), 2, &transferred));
    ASSERT_EQ(c->memoryWrites.size(), 1u);
    EXPECT_EQ(c->memoryWrites[0].space, 0xE0);
    EXPECT_EQ(c->memoryWrites[0].address, 0x6Cu);
    EXPECT_EQ(c->memoryWrites[0].bytes, (std::vector<BYTE>{0x0D, 0x22}));
    ASSERT_TRUE(Send(*c, "F0 F0 E0 00 00 6D 00 02", In, 2));
    EXPECT_EQ(data, (std::vector<BYTE>{0x22, 0x33}));
}

TEST_F(Controller, FlashPagesCheckTheirControlBytesAndUnwrittenPagesReadErased) {
    auto c = BuiltInController("SM3271AD");
    sim::FlashPage page;
    page.block = 0x0777;  // a block the profile keeps nothing in
    page.page = 0;
    page.data = {0x12, 0x01};
    page.control7 = 0x30;
    c->profile.image.flashPages.push_back(page);
    ASSERT_TRUE(Send(*c, "F0 01 07 77 00 00 00 30 00 32 00 04", In, 2048));
    EXPECT_EQ(data[0], 0x12);
    EXPECT_EQ(data[2], 0x00);
    ASSERT_TRUE(Send(*c, "F0 01 07 77 00 05 00 30 00 32 00 01", In, 512));
    EXPECT_EQ(data, std::vector<BYTE>(512, 0xFF));
    EXPECT_FALSE(Send(*c, "F0 01 07 77 00 00 00 10 00 32 00 04", In, 2048));
    ASSERT_EQ(c->refused.size(), 1u);
    EXPECT_NE(c->refused[0].reason.find("expects 0x30 in byte 7"), std::string::npos);
}

TEST_F(Controller, LoadsAreKeptAndTheJournalShowsTheirFirstBytes) {
    auto controller = AttachController(m, 'E', BuiltInController("SM3271AD"));
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    ASSERT_EQ(CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:"), 1);
    std::vector<BYTE> block(512, 0);
    block[0] = 0x02, block[1] = 0xC8, block[2] = 0x03;
    BYTE load[16] = {0xF1, 0x0A, 0xC8, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughWrite(&r, block.data(), 512, load), 1);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
    ASSERT_EQ(controller->codeBlocks.size(), 1u);
    EXPECT_EQ(controller->codeBlocks[0], block);
    ASSERT_EQ(m.journal.scsiCommands.size(), 1u);
    const std::vector<BYTE>& shown = m.journal.scsiCommands[0].dataOut;
    ASSERT_EQ(shown.size(), 16u);
    EXPECT_EQ(shown[1], 0xC8);
    ExpectNothingOpen();
    ExpectNothingRefused();
}

TEST_F(Controller, RefusalsAreJournaledAndCollectedOnceAcrossTheMachine) {
    auto controller = AttachController(m, 'E', BuiltInController("SM3257ENBA"));
    sim::HostAdapter adapter;
    adapter.target = controller;  // the same controller behind an ASPI adapter too
    m.aspi.adapters.push_back(adapter);
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    ASSERT_EQ(CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:"), 1);
    BYTE cdb[16] = {0xF0, 0x26, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    BYTE out[512];
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, out, 512, cdb), 0);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
    EXPECT_EQ(sim::RefusedCommands().size(), 6u) << "each of the six attempts";
    EXPECT_EQ(JournalLines("refused").size(), 6u);
    ExpectNothingOpen();
}

}  // namespace
