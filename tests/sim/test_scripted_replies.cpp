// The scripted device's answers for odd devices: raw INQUIRY data, an INQUIRY that fails
// its first times, a rule that fails on chosen matches and one that answers in turn.
#include "sim/scsi_target.h"
#include "tests/support/sim_test.h"

#include <vector>

namespace {

bool Send(sim::ScriptedDevice& d, std::vector<BYTE> cdb, std::vector<BYTE>* out) {
    sim::ScsiCommand c;
    for (size_t i = 0; i < cdb.size(); ++i) c.cdb[i] = cdb[i];
    c.direction = sim::DataDirection::In;
    c.transferLength = static_cast<DWORD>(out->size());
    DWORD transferred = 0;
    return d.Execute(c, out->data(), c.transferLength, &transferred);
}

TEST(ScriptedDevice, InquiryFailsItsFirstTimesThenAnswersItsRawBytes) {
    sim::ScriptedDevice d;
    d.inquiry = std::vector<BYTE>(56, 0);
    d.inquiry[2] = 0x05;
    d.inquiry[55] = 'i';
    d.inquiryFailTimes = 2;
    std::vector<BYTE> out(56, 0xCC);
    EXPECT_FALSE(Send(d, {0x12, 0, 0, 0, 56}, &out));
    EXPECT_FALSE(Send(d, {0x12, 0, 0, 0, 56}, &out));
    ASSERT_TRUE(Send(d, {0x12, 0, 0, 0, 56}, &out));
    EXPECT_EQ(out, d.inquiry);
}

TEST(ScriptedDevice, RuleFailsOnlyOnTheChosenMatches) {
    sim::ScriptedDevice d;
    sim::ScriptedDevice::Rule rule;
    rule.pattern = {0xF0, 0x04};
    rule.reply = {0x01};
    rule.failOn = {2};
    d.rules.push_back(rule);
    std::vector<BYTE> out(1);
    EXPECT_TRUE(Send(d, {0xF0, 0x04}, &out));
    EXPECT_FALSE(Send(d, {0xF0, 0x04}, &out));
    EXPECT_TRUE(Send(d, {0xF0, 0x04}, &out));
}

TEST(ScriptedDevice, RepliesAreUsedInTurnAndTheLastRepeats) {
    sim::ScriptedDevice d;
    sim::ScriptedDevice::Rule rule;
    rule.pattern = {0xF0};
    rule.replies = {{0x0A}, {0x0B}};
    rule.failOn = {2};  // a failed match uses no reply
    d.rules.push_back(rule);
    std::vector<BYTE> out(1), seen;
    for (int i = 0; i < 4; ++i)
        if (Send(d, {0xF0}, &out)) seen.push_back(out[0]);
    EXPECT_EQ(seen, (std::vector<BYTE>{0x0A, 0x0B, 0x0B}));
}

}  // namespace
