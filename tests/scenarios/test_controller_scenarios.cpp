// The scenario format's controllers, compact byte images and scripted-device answers, and
// the SDK call reports.
#include "sdk/transport/pass_through.h"
#include "sim/smi_controller.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"
#include "tools/runner.h"
#include "tools/scenario.h"
#include "tools/sdk_calls.h"

#include <stdexcept>
#include <string>

using nlohmann::json;

namespace {

sim::SmiController* ControllerOn(sim::Machine& m, char letter) {
    return dynamic_cast<sim::SmiController*>(m.FindVolume(letter)->target.get());
}

TEST(ControllerScenario, NamesAProfileAndOverridesPartsOfItsImage) {
    FreshProcess();
    sim::Machine& m = sim::machine();
    scenario::Apply(json::parse(R"({"volumes": [{"letter": "E", "scsiTarget": {
        "controller": "SM3271AD", "name": "patched", "product": "Stick",
        "sfr": {"size": 512, "fill": 255, "patches": [{"at": 2, "ascii": "SM"}]},
        "ramPages": {"0xD8": {"patches": [{"at": 2, "ascii": "3271"}]}, "7": "01 02"},
        "ramAtAddress": {"0xC0001800": {"size": 4}},
        "memory": [{"space": 224, "address": "0x6C", "bytes": "00 01", "writable": true}],
        "flashPages": [{"block": 512, "page": 3, "data": {"size": 1024, "fill": 18}, "control7": 48}],
        "faults": [{"form": "ramPageD8", "times": 2, "at": 216}]}}]})"),
                    m);
    sim::SmiController* c = ControllerOn(m, 'E');
    ASSERT_NE(c, nullptr);
    const sim::ControllerImage& image = c->profile.image;
    EXPECT_EQ(c->Name(), "patched");
    EXPECT_EQ(c->profile.product, "Stick");
    EXPECT_EQ(c->profile.modelCode, 57) << "kept from the profile";
    ASSERT_EQ(image.sfr.size(), 512u);
    EXPECT_EQ(image.sfr[1], 0xFF);
    EXPECT_EQ(image.sfr[3], 'M');
    const std::vector<BYTE>& d8 = image.ramPages.at(0xD8);
    EXPECT_EQ(d8.size(), 1536u) << "patches without a size go over the profile's page";
    EXPECT_EQ(d8[0], 0xD8);
    EXPECT_EQ(std::string(d8.begin() + 2, d8.begin() + 6), "3271");
    EXPECT_EQ(image.ramPages.at(7), (std::vector<BYTE>{1, 2}));
    EXPECT_EQ(image.ramAtAddress.at(0xC0001800UL), std::vector<BYTE>(4, 0));
    ASSERT_FALSE(image.memory.empty());
    EXPECT_EQ(image.memory[0].space, 0xE0) << "ranges of the scenario answer first";
    EXPECT_TRUE(image.memory[0].writable);
    // Beside the pages of the profile's information block, the scenario's page.
    const sim::FlashPage* added = nullptr;
    for (const sim::FlashPage& page : image.flashPages)
        if (page.block == 512 && page.page == 3 && page.data == std::vector<BYTE>(1024, 18))
            added = &page;
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->control7, 48);
    EXPECT_EQ(added->control9, -1);
    ASSERT_EQ(c->faults.size(), 1u);
    EXPECT_EQ(c->faults[0].form, sim::ControllerForm::RamPageD8);
    EXPECT_EQ(c->faults[0].at, 216);
}

TEST(ControllerScenario, AspiAdapterCanCarryAController) {
    FreshProcess();
    sim::Machine& m = sim::machine();
    scenario::Apply(
        json::parse(R"({"aspi": {"adapters": [{"scsiTarget": {"controller": "SM3252C"}}]}})"), m);
    ASSERT_EQ(m.aspi.adapters.size(), 1u);
    EXPECT_NE(dynamic_cast<sim::SmiController*>(m.aspi.adapters[0].target.get()), nullptr);
}

TEST(ControllerScenario, ScriptedDeviceTakesRawInquiryAndRepliesInTurn) {
    FreshProcess();
    sim::Machine& m = sim::machine();
    scenario::Apply(json::parse(R"({"volumes": [{"letter": "F", "scsiTarget": {
        "inquiry": {"bytes": {"size": 56, "patches": [{"at": 0, "hex": "00 80 05 02"},
                                                      {"at": 53, "ascii": "smi"}]}},
        "inquiryFailTimes": 2,
        "rules": [{"cdb": "F0 04", "failOn": [1, 3],
                   "replies": ["0A", {"size": 3, "fill": 11}]}]}}]})"),
                    m);
    auto* d = dynamic_cast<sim::ScriptedDevice*>(m.FindVolume('F')->target.get());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->inquiry.size(), 56u);
    EXPECT_EQ(d->inquiry[2], 0x05);
    EXPECT_EQ(d->inquiry[55], 'i');
    EXPECT_EQ(d->inquiryFailTimes, 2);
    ASSERT_EQ(d->rules.size(), 1u);
    EXPECT_EQ(d->rules[0].failOn, (std::vector<int>{1, 3}));
    ASSERT_EQ(d->rules[0].replies.size(), 2u);
    EXPECT_EQ(d->rules[0].replies[1], (std::vector<BYTE>{11, 11, 11}));
}

TEST(SdkCalls, CompactHexWritesRunsOfFourOrMore) {
    EXPECT_EQ(scenario::CompactHex({}), "");
    EXPECT_EQ(scenario::CompactHex({0x53, 0x4D, 0, 0, 0}), "53 4D 00 00 00");
    EXPECT_EQ(scenario::CompactHex({1, 0, 0, 0, 0, 2, 2, 2, 2, 2}), "01 00*4 02*5");
}

TEST(SdkCalls, UnknownCallsAndBadFieldsAreErrors) {
    const char* const kBad[] = {
        R"([{"call": "FormatDrive", "drive": "E"}])",
        R"([{"call": "ReadControllerSfr", "drive": "e"}])",
        R"([{"call": "ReadControllerSfr", "drive": "E", "length": -1}])",
        R"([{"call": "ReadControllerSfr", "drive": "E", "show": [600]}])",
        R"([{"drive": "E"}])",
    };
    for (const char* text : kBad) {
        FreshProcess();
        EXPECT_THROW(scenario::RunSdkCalls(json::parse(text)), std::runtime_error) << text;
        ExpectNothingOpen();
    }
}

TEST(SdkCalls, ReportTheDataOutOfEveryWriteNextToItsCommand) {
    FreshProcess();
    sim::Machine& m = sim::machine();
    scenario::Apply(
        json::parse(R"({"volumes": [{"letter": "E", "scsiTarget": {"controller": "SM3271AD"}}]})"),
        m);
    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    ASSERT_EQ(CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:"), 1);
    BYTE block[512] = {0x02, 0xC8, 0x03};
    BYTE load[16] = {0xF1, 0x0A, 0xC8, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughWrite(&r, block, sizeof block, load), 1);
    CSMISCSICmd::CloseSMIDiskHandle(&r);
    json report = scenario::Report(m, 0);
    EXPECT_EQ(report["scsiCommands"][0]["dataOut"],
              "02 C8 03 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(report["refused"], json::array());
    ExpectNothingOpen();
}

}  // namespace
