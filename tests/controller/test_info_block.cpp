// The information block's copy choice, the flash scan that finds copy 0 of current models
// and the early read that older controllers answer.
#include "sdk/controller/info_block.h"
#include "tests/controller/test_info_block_fixture.h"

#include <cstring>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

namespace {

using InfoBlock = ControllerTest;

// Models that settle the copy without reading anything.
struct FixedChoice {
    int code;
    int copy;
};

class FixedCopyChoice : public ControllerTest, public ::testing::WithParamInterface<FixedChoice> {};

TEST_P(FixedCopyChoice, SettledWithoutReading) {
    int copy = 7;
    EXPECT_EQ(ChooseInfoBlockCopy(GetParam().code, &request, copy), 0);
    EXPECT_EQ(copy, GetParam().copy);
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Codes, FixedCopyChoice,
                         ::testing::Values(FixedChoice{54, 1}, FixedChoice{57, 1},
                                           FixedChoice{4, 0}, FixedChoice{0, 0}, FixedChoice{15, 0},
                                           FixedChoice{39, 0}, FixedChoice{40, 0}));

// Code 30 keeps its second copy at the block that RAM page 0xD8 names, on page 1.
void SecondCopyAt(ControllerTest& t, std::vector<BYTE> page) {
    std::vector<BYTE> settings = Bytes(1536);
    PutBe16At(settings, 12, 0x0321);
    t.Ram(0xD8, settings);
    t.FlashPage(0x0321, 1, std::move(page));
}

TEST_F(InfoBlock, TrialReadKeepsSecondCopyOnlyWithItsMark) {
    struct Case {
        const char* name;
        int code;
        bool marked;
        int copy;
    };
    for (const Case& c : {Case{"marked", 30, true, 1}, Case{"unmarked", 30, false, 0},
                          Case{"marked above the current models", 60, true, 1}}) {
        std::vector<BYTE> page = Bytes(1024);
        if (c.marked) {
            page[510] = 'D';
            page[511] = 'G';
        }
        SecondCopyAt(*this, page);
        if (c.code == 60) {
            // Codes outside the current models read their settings from page 0xF8 with the
            // early form, and take the block that those settings name.
            std::vector<BYTE> settings = Bytes(1536);
            PutBe16At(settings, 12, 0x0321);
            Answer({0xF0, 0x2A, 0, 0, 0, 0, 0, 0xF8}, settings);
        }
        int copy = 0;
        EXPECT_EQ(ChooseInfoBlockCopy(c.code, &request, copy), 0) << c.name;
        EXPECT_EQ(copy, c.copy) << c.name;
    }
}

TEST_F(InfoBlock, CodeNineteenNeverKeepsTheSecondCopy) {
    // Its "copy 1" is copy 0 found by the flash scan, even when that carries the mark.
    FlashInfo(Reply(0x0040));
    std::vector<BYTE> page = DescriptorPage(2048, 1);
    page[510] = 'D';
    page[511] = 'G';
    FlashPage(0x0040, 0, page);
    int copy = 1;
    EXPECT_EQ(ChooseInfoBlockCopy(19, &request, copy), 0);
    EXPECT_EQ(copy, 0);
    ASSERT_THAT(Sent(0x01), SizeIs(1));
    EXPECT_EQ(Sent(0x01)[0], Cdb({0xF0, 0x01, 0x00, 0x40, 0, 0, 0, 0x10, 0, 0x32, 0, 4}));
}

TEST_F(InfoBlock, FailedTrialRestoresTheCallersIndex) {
    std::vector<BYTE> settings = Bytes(1536);
    PutBe16At(settings, 12, 0x0321);
    Ram(0xD8, settings);
    Refuse({0xF0, 0x01});
    int copy = 5;
    EXPECT_EQ(ChooseInfoBlockCopy(30, &request, copy), kInfoBlockReadFailed);
    EXPECT_EQ(copy, 5);
}

// The flash scan: copy 0 of current models, on pages 0-19 of the record's block.

TEST_F(InfoBlock, ScanStopsBeforeAnyPageWithoutABlock) {
    struct Case {
        const char* name;
        std::vector<BYTE> reply;
    };
    for (const Case& c :
         {Case{"block FF FF", Reply(0xFFFF)}, Case{"byte 9 zero", Reply(0x40, 0)}}) {
        m.journal = {};
        FlashInfo(c.reply);
        FlashPage(0x40, 0, DescriptorPage(2048, 1));
        std::vector<BYTE> out(2048, 0xCD);
        EXPECT_EQ(ReadInfoBlock(21, &request, 0, out.data(), 2048, 0), 0) << c.name;
        EXPECT_THAT(Sent(0x01), IsEmpty()) << c.name;
        EXPECT_EQ(out, Bytes(2048)) << c.name;
    }
}

TEST_F(InfoBlock, ScanEndsAtTheFirstDescriptorPage) {
    FlashInfo(Reply(0x0040));
    Sfr(Bytes(512, {{292, 0x20}}));  // record byte 14 bit 5: pages addressed with 0x30
    FlashPage(0x0040, 0, DescriptorPage(2048, 7));
    std::vector<BYTE> out(2048, 0xCD);
    ASSERT_EQ(ReadInfoBlock(21, &request, 0, out.data(), 2048, 0x09), 0);
    EXPECT_THAT(Sent(0x01),
                ElementsAre(Cdb({0xF0, 0x01, 0x00, 0x40, 0, 0, 0x09, 0x30, 0, 0x32, 0, 4})));
    EXPECT_EQ(out[2], 7);
    EXPECT_EQ(out[1023], 0xAA);
    EXPECT_EQ(out[1024], 0) << "at most 1024 bytes of the page are the block";
}

TEST_F(InfoBlock, ScanAddressingBytesPerModel) {
    struct Case {
        const char* name;
        int code;
        BYTE first9, later9, byte10;
    };
    for (const Case& c :
         {Case{"SM3257 family, lowest", 22, 0x3E, 0x32, 0},
          Case{"SM3257 family, highest", 25, 0x3E, 0x32, 0},
          Case{"just below it", 21, 0x32, 0x32, 0}, Case{"just above it", 26, 0x32, 0x32, 0},
          Case{"wide-address", 46, 0x12, 0x12, 0x36}}) {
        m.journal = {};
        std::vector<BYTE> reply = Reply(0x0040);
        if (c.code == 46) {
            // Wide-address replies keep the block little-endian at 356 and the selector at 358.
            reply = Bytes(512, {{3, 1}, {356, 0x40}, {357, 0x00}, {358, 3}});
            WideSettings(Bytes(1536));
        }
        if (c.code == 26) Ram(0xDC, Bytes(1536, {{74, 0x00}, {75, 0x40}}));
        FlashInfo(reply);
        FlashPage(0x0040, 0, Bytes(2048));
        FlashPage(0x0040, 1, DescriptorPage(2048, 1));
        BYTE out[1024];
        ASSERT_EQ(ReadInfoBlock(c.code, &request, 0, out, sizeof out, 0), 0) << c.name;
        auto sent = Sent(0x01);
        ASSERT_THAT(sent, SizeIs(2)) << c.name;
        EXPECT_EQ(sent[0][9], c.first9) << c.name;
        EXPECT_EQ(sent[1][9], c.later9) << c.name;
        EXPECT_EQ(sent[0][10], c.byte10) << c.name;
        EXPECT_EQ(sent[1][5], 1) << c.name;
        EXPECT_EQ(out[0], 0x12) << c.name;
    }
}

TEST_F(InfoBlock, TwentyMissesFindNoBlock) {
    FlashInfo(Reply(0x0040));
    Answer({0xF0, 0x01}, Bytes(2048, {{0, 0x11}, {1, 0x01}}));
    std::vector<BYTE> out(2048, 0xCD);
    EXPECT_EQ(ReadInfoBlock(30, &request, 0, out.data(), 2048, 0), kInfoBlockReadFailed);
    auto sent = Sent(0x01);
    ASSERT_THAT(sent, SizeIs(20));
    EXPECT_EQ(sent[19][5], 19);
    EXPECT_EQ(out, Bytes(2048));
}

TEST_F(InfoBlock, ScanReadFailureAndRecordFailure) {
    FlashInfo(Reply(0x0040));
    Refuse({0xF0, 0x01});
    BYTE out[1024];
    EXPECT_EQ(ReadInfoBlock(30, &request, 0, out, sizeof out, 0), kInfoBlockReadFailed);
    Refuse({0xF0, 0x06});
    EXPECT_EQ(ReadInfoBlock(30, &request, 0, out, sizeof out, 0), kFlashInfoReadFailed);
}

// The early read: copy 0 of codes outside the current models.

TEST_F(InfoBlock, EarlyReadSizesAndSelector) {
    struct Case {
        const char* name;
        int code;
        BYTE selector, sectors;
    };
    for (const Case& c :
         {Case{"first generation, selected by RAM page 16", 5, 0x07, 1},
          Case{"selected, highest", 6, 0x07, 1}, Case{"first generation, unselected", 4, 0, 1},
          Case{"middle model", 12, 0, 4}, Case{"not identified", 65535, 0, 1}}) {
        m.journal = {};
        Answer({0xF0, 0x2A, 0, 0, 0, 0, 0, 16}, Bytes(1536, {{256, 0x07}}));
        Answer({0xF0, 0x02}, Bytes(3072, {{0, 0x12}, {1, 0x01}, {2047, 0x5A}}));
        std::vector<BYTE> out(4096, 0xCD);
        ASSERT_EQ(ReadInfoBlock(c.code, &request, 0, out.data(), 4096, 0), 0) << c.name;
        EXPECT_THAT(Sent(0x02),
                    ElementsAre(Cdb({0xF0, 0x02, c.selector, 0, 0, 0, 0, 0, 0, 0, 0, c.sectors})))
            << c.name;
        EXPECT_EQ(out[0], 0x12) << c.name;
        EXPECT_EQ(out[2047], c.sectors == 4 ? 0x5A : 0) << c.name;
        EXPECT_EQ(out[3072], 0) << "the reply buffer holds 3072 bytes";
    }
}

TEST_F(InfoBlock, EarlyReadFailures) {
    Refuse({0xF0, 0x2A, 0, 0, 0, 0, 0, 16});
    BYTE out[512];
    EXPECT_EQ(ReadInfoBlock(5, &request, 0, out, sizeof out, 0), kSelectorPageReadFailed);
    EXPECT_THAT(Sent(0x02), IsEmpty());

    Refuse({0xF0, 0x02});
    std::memset(out, 0xCD, sizeof out);
    EXPECT_EQ(ReadInfoBlock(12, &request, 0, out, sizeof out, 0), kInfoBlockReadFailed);
    EXPECT_EQ(std::vector<BYTE>(out, out + 512), Bytes(512));
}

// A caller that wants only the status hands no buffer; a failed early read then has
// nothing to clear (under UBSan, clearing a null buffer stops the program).
TEST_F(InfoBlock, EarlyReadFailureWithoutABuffer) {
    Refuse({0xF0, 0x02});
    EXPECT_EQ(ReadInfoBlock(12, &request, 0, nullptr, 0, 0), kInfoBlockReadFailed);
    EXPECT_THAT(Sent(0x02), ::testing::Not(IsEmpty()));
}

}  // namespace
