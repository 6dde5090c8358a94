// The page map: the bitmap search, the 9-bit table unpacking, the choice of rule from the
// controller's settings, and the map as built from a scripted controller.
#include "sdk/controller/page_map.h"
#include "tests/controller/test_info_block_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

TEST(NthSetBit, CountsFromTheLeastSignificantBitAndEndsAtTheBitmap) {
    const BYTE bitmap[] = {0x05, 0x00, 0x80};
    struct Case {
        int bytes, n, expected;
    };
    for (const Case& c : {Case{3, 0, 0}, Case{3, 1, 2}, Case{3, 2, 23}, Case{3, 3, -1},
                          Case{2, 2, -1}, Case{0, 0, -1}, Case{3, -1, -1}}) {
        EXPECT_EQ(NthSetBit(bitmap, c.bytes, c.n), c.expected)
            << "n " << c.n << " over " << c.bytes << " bytes";
    }
    EXPECT_EQ(NthSetBit(NULL, 3, 0), -1);
}

TEST(UnpackNineBitTable, HighBitsMostSignificantFirst) {
    std::vector<BYTE> table = Bytes(kPackedMapTableBytes);
    // Group 0: ninth bits for entries 0 and 7; group 15: for entry 121.
    table[0] = 0x81;
    for (int a = 0; a < 8; ++a) table[1 + a] = static_cast<BYTE>(0x10 + a);
    table[135] = 0x40;
    table[137] = 0x33;
    table[143] = 0x7F;
    WORD entries[kPackedMapEntries];
    UnpackNineBitTable(table.data(), entries);
    EXPECT_EQ(entries[0], 0x110);
    EXPECT_EQ(entries[1], 0x011);
    EXPECT_EQ(entries[6], 0x016);
    EXPECT_EQ(entries[7], 0x117);
    EXPECT_EQ(entries[8], 0);
    EXPECT_EQ(entries[121], 0x133);
    EXPECT_EQ(entries[127], 0x07F);
}

TEST(ListSetBits, StopsAt2048Entries) {
    std::vector<BYTE> full(512, 0xFF);
    std::vector<WORD> map(kPageMapEntries + 8, 0xBEEF);
    EXPECT_EQ(ListSetBits(full.data(), 512, map.data()), kPageMapEntries);
    EXPECT_EQ(map[kPageMapEntries - 1], kPageMapEntries - 1);
    EXPECT_EQ(map[kPageMapEntries], 0xBEEF) << "nothing written past the map";

    const BYTE sparse[] = {0x00, 0x90};
    EXPECT_EQ(ListSetBits(sparse, 2, map.data()), 2);
    EXPECT_EQ(map[0], 12);
    EXPECT_EQ(map[1], 15);
}

// The rule chosen from the record F, the SFR page S and the settings D (or W).
struct RuleCase {
    const char* name;
    int code;
    std::vector<std::pair<int, int>> record, sfr, settings;
    PageMapRule rule;
    int tableOffset;
    bool special;
};

class PageMapRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(PageMapRules, Chosen) {
    const RuleCase& c = GetParam();
    std::vector<BYTE> record(512), sfr(512), settings(1024);
    for (auto p : c.record) record[p.first] = static_cast<BYTE>(p.second);
    for (auto p : c.sfr) sfr[p.first] = static_cast<BYTE>(p.second);
    for (auto p : c.settings) settings[p.first] = static_cast<BYTE>(p.second);
    PageMapChoice choice = ChoosePageMap(c.code, record.data(), sfr.data(), settings.data());
    EXPECT_EQ(choice.rule, c.rule);
    EXPECT_EQ(choice.tableOffset, c.tableOffset);
    EXPECT_EQ(choice.special, c.special);
}

const int kOn = 0x10;      // S byte 292 bit 4
const int kPacked = 0x20;  // S byte 290 bit 5

INSTANTIATE_TEST_SUITE_P(
    Settings, PageMapRules,
    ::testing::Values(
        RuleCase{"early model", 12, {}, {{292, kOn}}, {}, kPageMapIdentity, 368, false},
        RuleCase{"switch off", 30, {}, {}, {}, kPageMapIdentity, 368, false},
        RuleCase{"byte list up to 33", 33, {}, {{292, kOn}}, {}, kPageMapByteList, 368, false},
        RuleCase{"byte list from 16", 16, {}, {{292, kOn}}, {}, kPageMapByteList, 368, false},
        RuleCase{"bitmap from 34", 34, {}, {{292, kOn}}, {}, kPageMapBitmapFromByte4, 368, false},
        RuleCase{"bitmap on 58", 58, {}, {{292, kOn}}, {}, kPageMapBitmapFromByte4, 368, false},
        RuleCase{"packed table in 0xFA",
                 30,
                 {},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapPackedPageFA,
                 368,
                 false},
        RuleCase{"packed table 8 bytes early on code 20",
                 20,
                 {{9, 1}, {48, 0x89}},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapPackedPageFA,
                 360,
                 false},
        RuleCase{"table offset rule only on code 20",
                 21,
                 {{9, 1}, {48, 0x89}},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapPackedPageFA,
                 368,
                 false},
        RuleCase{"SM3257 packed table in 0xF8",
                 23,
                 {{17, 9}},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapPackedPageF8,
                 368,
                 false},
        RuleCase{"SM3257 small geometry uses 0xFA",
                 23,
                 {{17, 8}},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapPackedPageFA,
                 368,
                 false},
        RuleCase{"SM3257 flag 10 bit 6 uses 0xFA",
                 23,
                 {{17, 9}, {10, 0x40}},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapPackedPageFA,
                 368,
                 false},
        RuleCase{"settings 370 bit 6 turns off",
                 30,
                 {},
                 {{292, kOn}},
                 {{370, 0x40}},
                 kPageMapIdentity,
                 368,
                 false},
        RuleCase{"... unless the map is packed",
                 30,
                 {},
                 {{292, kOn}, {290, kPacked}},
                 {{370, 0x40}},
                 kPageMapPackedPageFA,
                 368,
                 false},
        RuleCase{"370 not read below 20",
                 19,
                 {},
                 {{292, kOn}},
                 {{370, 0x40}},
                 kPageMapByteList,
                 368,
                 false},
        RuleCase{"SM3257 settings 294 bit 2 turns off",
                 24,
                 {},
                 {{292, kOn}},
                 {{294, 0x04}},
                 kPageMapIdentity,
                 368,
                 false},
        RuleCase{"294 not read on 26",
                 26,
                 {},
                 {{292, kOn}},
                 {{294, 0x04}},
                 kPageMapByteList,
                 368,
                 false},
        RuleCase{"settings 373 bit 1 turns off from 26",
                 40,
                 {},
                 {{292, kOn}},
                 {{373, 0x02}},
                 kPageMapIdentity,
                 368,
                 false},
        RuleCase{"373 not read on 25",
                 25,
                 {},
                 {{292, kOn}},
                 {{373, 0x02}},
                 kPageMapByteList,
                 368,
                 false},
        RuleCase{"special map forced on",
                 35,
                 {},
                 {{290, kPacked}},
                 {{15, 1}, {407, 2}, {373, 2}},
                 kPageMapBitmapFromByte4,
                 368,
                 true},
        RuleCase{"special needs both bits", 35, {}, {}, {{15, 1}}, kPageMapIdentity, 368, false},
        RuleCase{
            "special only 33-36", 37, {}, {}, {{15, 1}, {407, 2}}, kPageMapIdentity, 368, false},
        RuleCase{"wide switch bit 13", 46, {}, {}, {{17, 0x20}}, kPageMapWideBitmap, 368, false},
        RuleCase{"wide ignores the SFR page",
                 46,
                 {},
                 {{292, kOn}, {290, kPacked}},
                 {},
                 kPageMapIdentity,
                 368,
                 false},
        RuleCase{"wide bit 8 without W20 bit 1 turns off",
                 41,
                 {},
                 {},
                 {{17, 0x21}},
                 kPageMapIdentity,
                 368,
                 false},
        RuleCase{"wide bit 8 with W20 bit 1 stays",
                 41,
                 {},
                 {},
                 {{17, 0x21}, {20, 0x02}},
                 kPageMapWideBitmap,
                 368,
                 false},
        RuleCase{"wide bit 10 turns off",
                 48,
                 {},
                 {},
                 {{17, 0x24}, {20, 0x02}},
                 kPageMapIdentity,
                 368,
                 false}));

// The map as built from the controller's answers.
using BuildMap = ControllerTest;

TEST_F(BuildMap, EarlyAndMiddleModelsMapEachPageToItself) {
    std::vector<WORD> map(kPageMapEntries, 0xBEEF);
    BuildPageMap(15, &request, map.data());
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[2047], 2047);
}

TEST_F(BuildMap, PackedTableAtTheEarlyOffset) {
    FlashInfo(Bytes(512, {{9, 1}, {48, 0x89}, {49, 1}}));
    Sfr(Bytes(512, {{292, kOn}, {290, kPacked}}));
    std::vector<BYTE> fa = Bytes(1536, {{360, 0x40}, {362, 0x07}, {368, 0xFF}});
    Ram(0xFA, fa);
    WORD map[kPageMapEntries];
    BuildPageMap(20, &request, map);
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[1], 0x107);
    EXPECT_EQ(map[127], 0);
    EXPECT_EQ(map[128], 0) << "entries past the table are 0";
}

TEST_F(BuildMap, BitmapFromTheMapPageNamedBySettings) {
    Sfr(Bytes(512, {{292, kOn}}));
    Ram(0xD8, Bytes(1536, {{376, 0xE4}}));
    Ram(0xE4, Bytes(1536, {{0, 0xFF}, {4, 0x06}, {6, 0x01}}));
    WORD map[kPageMapEntries];
    BuildPageMap(37, &request, map);
    EXPECT_EQ(map[0], 1);
    EXPECT_EQ(map[1], 2);
    EXPECT_EQ(map[2], 16);
    EXPECT_EQ(map[3], 0);
}

TEST_F(BuildMap, FailedMapPageReadGivesNoEntries) {
    Sfr(Bytes(512, {{292, kOn}, {290, kPacked}}));
    Refuse({0xF0, 0x04, 0xFA});
    WORD map[kPageMapEntries];
    BuildPageMap(21, &request, map);
    for (int i = 0; i < kPageMapEntries; ++i) ASSERT_EQ(map[i], 0) << "entry " << i;
}

}  // namespace
