// Copy 1 of the information block: the general read through the controller settings and
// the page map, and the code-area searches of SM3259/SM3271 and SM3281 controllers.
#include "sdk/controller/info_block.h"
#include "tests/controller/test_info_block_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

namespace {

using SecondCopy = ControllerTest;

TEST_F(SecondCopy, BlockNumberSources) {
    struct Case {
        const char* name;
        int code;
        unsigned settingsBlock;
        int maker;
        int settings94;
        unsigned expected;
    };
    // Record block 0x0258, alternative block 0x0272; settings name their own.
    for (const Case& c : {
             Case{"settings' own block", 21, 0x0123, 0x98, 0, 0x0123},
             Case{"settings name none", 21, 0x0000, 0x98, 0, 0x0258},
             Case{"flash maker 0xEC takes the record's block", 21, 0x0123, 0xEC, 0, 0x0258},
             Case{"code 17 keeps an empty block", 17, 0x0000, 0x98, 0, 0x0000},
             Case{"code 17 ignores the flash maker", 17, 0x0123, 0xEC, 0, 0x0123},
             Case{"SM3257ENBA alternative block", 24, 0x0123, 0x98, 0x98, 0x0272},
             Case{"SM3257ENBA alternative wins over the maker rule", 24, 0x0123, 0xEC, 0xEC,
                  0x0272},
             Case{"SM3257ENBA, other flash", 24, 0x0123, 0x98, 0x45, 0x0123},
             Case{"early model takes the settings' block", 60, 0x0000, 0xEC, 0, 0x0000},
         }) {
        m.journal = {};
        std::vector<BYTE> settings = Bytes(1536, {{94, c.settings94}});
        PutBe16At(settings, 12, c.settingsBlock);
        Ram(0xF8, settings);
        Answer({0xF0, 0x2A, 0, 0, 0, 0, 0, 0xF8}, settings);
        std::vector<BYTE> reply = Reply(0x0258, 1, c.maker);
        PutBe16At(reply, 272, 0x0272);
        FlashInfo(reply);
        EarlyFlashInfo(reply);
        Answer({0xF0, 0x01}, Bytes(1024, {{5, 0x55}}));
        std::vector<BYTE> out(2048, 0xCD);
        EXPECT_EQ(ReadInfoBlock(c.code, &request, 1, out.data(), 2048, 0), 0) << c.name;
        auto sent = Sent(0x01);
        ASSERT_THAT(sent, SizeIs(1)) << c.name;
        EXPECT_EQ(sent[0], Cdb({0xF0, 0x01, int(c.expected >> 8), int(c.expected & 0xFF), 0, 1, 0,
                                0x10, 0, 0x32, 0, 2}))
            << c.name;
        EXPECT_EQ(out[5], 0x55) << c.name;
        EXPECT_EQ(out[1024], 0) << c.name;
    }
}

TEST_F(SecondCopy, PageComesFromThePageMap) {
    // Code 30 keeps its settings in RAM page 0xD8; with byte 513 set the page is entry 1 of
    // the map, here a byte list in map page 0xE0 (named by settings byte 376).
    std::vector<BYTE> settings = Bytes(1536, {{513, 1}, {376, 0xE0}});
    PutBe16At(settings, 12, 0x0123);
    Ram(0xD8, settings);
    Sfr(Bytes(512, {{292, 0x10}}));
    Ram(0xE0, Bytes(1536, {{0, 0x03}, {1, 0x09}}));
    Answer({0xF0, 0x01}, Bytes(1024));
    BYTE out[1024];
    EXPECT_EQ(ReadInfoBlock(30, &request, 1, out, sizeof out, 0x05), 0);
    EXPECT_THAT(Sent(0x01),
                ElementsAre(Cdb({0xF0, 0x01, 0x01, 0x23, 0, 0x09, 0x05, 0x10, 0, 0x32, 0, 2})));
}

TEST_F(SecondCopy, NoBlockReadsNothing) {
    std::vector<BYTE> settings = Bytes(1536);
    PutBe16At(settings, 12, 0xFFFF);
    Ram(0xF8, settings);
    FlashInfo(Reply(0x0258));
    std::vector<BYTE> out(1024, 0xCD);
    EXPECT_EQ(ReadInfoBlock(21, &request, 1, out.data(), 1024, 0), 0);
    EXPECT_THAT(Sent(0x01), IsEmpty());
    EXPECT_EQ(out, Bytes(1024));
}

TEST_F(SecondCopy, FailedSettingsReadIsTheResultOfAGoodPageRead) {
    Refuse({0xF0, 0x04, 0xF8});
    FlashInfo(Reply(0x0258));
    Answer({0xF0, 0x01}, Bytes(1024, {{0, 0x12}}));
    BYTE out[1024];
    EXPECT_EQ(ReadInfoBlock(21, &request, 1, out, sizeof out, 0), kVendorReadFailed);
    EXPECT_EQ(out[0], 0x12) << "the page is handed out all the same";
}

// The SM3259/SM3271 code area: candidate blocks in RAM page 0xD8 (two sectors), the
// code-area name at byte 3 of the first usable page, copy 1 on the second.
class Sm3259CodeArea : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        std::vector<BYTE> reply = Reply(0x0258);
        PutBe16At(reply, 274, 0x0001);
        FlashInfo(reply);
        settings = Bytes(1024);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j) PutBe16At(settings, 141 + 8 * i + 2 * j, 0xFFFF);
    }
    void Candidate(int i, int j, unsigned block) {
        PutBe16At(settings, 141 + 8 * i + 2 * j, block);
    }
    void Serve() { Answer({0xF0, 0x04, 0xD8, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x02}, settings); }
    static std::vector<BYTE> Named(const char* name) {
        std::vector<BYTE> page = Bytes(1024);
        Put(page, 3, name);
        return page;
    }
    std::vector<BYTE> settings;
};

TEST_F(Sm3259CodeArea, NameFoundOnlyInTheLastCandidate) {
    // Pages 2 and 5 are the block's usable pages.
    settings[512] = 0x24;
    for (int i = 0; i < 3; ++i)
        for (int j = 1; j <= 3; ++j) Candidate(i, j, 0x0100 + unsigned(16 * i + j));
    Serve();
    Answer({0xF0, 0x01}, Named("SM3271AB_IS"));  // one character short: no match
    FlashPage(0x0121, 2, Named("SM3271AD_ISP"));
    FlashPage(0x0121, 5, Bytes(2048, {{0, 0x12}, {510, 'D'}, {511, 'G'}}));
    std::vector<BYTE> out(2048, 0xCD);
    ASSERT_EQ(ReadInfoBlock(55, &request, 1, out.data(), 2048, 0x02), 0);
    auto sent = Sent(0x01);
    ASSERT_THAT(sent, SizeIs(10));
    const unsigned order[] = {0x103, 0x102, 0x101, 0x113, 0x112, 0x111, 0x123, 0x122, 0x121};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(sent[k], Cdb({0xF0, 0x01, int(order[k] >> 8), int(order[k] & 0xFF), 0, 2, 0, 0, 0,
                                0x5E, 0x04, 2}))
            << "candidate " << k;
    }
    EXPECT_EQ(sent[9], Cdb({0xF0, 0x01, 0x01, 0x21, 0, 5, 0x02, 0, 0, 0x12, 0x04, 4}));
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[511], 'G');
}

TEST_F(Sm3259CodeArea, BitmapChoice) {
    struct Case {
        const char* name;
        int code;
        int select305;
        int firstPage;
    };
    // Bit 1 of byte 512, bit 2 of byte 576, bit 3 of byte 640: the first usable page of
    // each bitmap.
    for (const Case& c :
         {Case{"SM3271, large bitmap", 54, 0x04, 1}, Case{"SM3259, bit clear", 52, 0x00, 2},
          Case{"SM3259, bit set", 53, 0x04, 3}, Case{"SM3259, other bits only", 52, 0xFB, 2}}) {
        m.journal = {};
        settings[305] = static_cast<BYTE>(c.select305);
        settings[512] = 0x02;
        settings[576] = 0x04;
        settings[640] = 0x08;
        settings[700] = 0x01;  // a second usable page in every bitmap
        Candidate(0, 3, 0x0200);
        Serve();
        Answer({0xF0, 0x01}, Bytes(1024));
        FlashPage(0x0200, c.firstPage, Named("SM3259AA_ISP"));
        BYTE out[1024];
        EXPECT_EQ(ReadInfoBlock(c.code, &request, 1, out, sizeof out, 0), 0) << c.name;
        auto sent = Sent(0x01);
        ASSERT_THAT(sent, SizeIs(2)) << c.name;
        EXPECT_EQ(sent[0][5], c.firstPage) << c.name;
    }
}

TEST_F(Sm3259CodeArea, NamedBlockWithoutASecondUsablePage) {
    settings[512] = 0x10;
    Candidate(0, 3, 0x0200);
    Candidate(0, 2, 0x0300);
    Serve();
    Answer({0xF0, 0x01}, Named("SM3271AD_ISP"));
    std::vector<BYTE> out(1024, 0xCD);
    EXPECT_EQ(ReadInfoBlock(57, &request, 1, out.data(), 1024, 0), 0);
    EXPECT_THAT(Sent(0x01),
                ElementsAre(Cdb({0xF0, 0x01, 0x02, 0x00, 0, 4, 0, 0, 0, 0x5E, 0x04, 2})))
        << "the search stops at the named block";
    EXPECT_EQ(out, Bytes(1024));
}

TEST_F(Sm3259CodeArea, NothingToSearch) {
    struct Case {
        const char* name;
        unsigned codeArea;
        int bitmap;
    };
    for (const Case& c :
         {Case{"no code area in flash", 0xFFFF, 0x03}, Case{"an empty bitmap", 0x0001, 0x00}}) {
        m.journal = {};
        std::vector<BYTE> reply = Reply(0x0258);
        PutBe16At(reply, 274, c.codeArea);
        FlashInfo(reply);
        settings[512] = static_cast<BYTE>(c.bitmap);
        Candidate(0, 3, 0x0200);
        Serve();
        Answer({0xF0, 0x01}, Named("SM3271AA_ISP"));
        std::vector<BYTE> out(1024, 0xCD);
        EXPECT_EQ(ReadInfoBlock(56, &request, 1, out.data(), 1024, 0), 0) << c.name;
        EXPECT_THAT(Sent(0x01), IsEmpty()) << c.name;
        EXPECT_EQ(out, Bytes(1024)) << c.name;
    }
}

TEST_F(Sm3259CodeArea, FailedPageReads) {
    settings[512] = 0x03;
    Candidate(0, 3, 0x0200);
    Serve();
    Refuse({0xF0, 0x01});
    BYTE out[1024];
    EXPECT_EQ(ReadInfoBlock(55, &request, 1, out, sizeof out, 0), kVendorReadFailed);

    FlashPage(0x0200, 0, Named("SM3271AA_ISP"));
    EXPECT_EQ(ReadInfoBlock(55, &request, 1, out, sizeof out, 0), kVendorReadFailed)
        << "the copy's own page fails";
}

// The SM3281 code area: candidates and bitmap in the wide-address settings RAM.
TEST_F(SecondCopy, Sm3281CodeArea) {
    std::vector<BYTE> reply = Bytes(512, {{3, 1}, {388, 0x02}});
    FlashInfo(reply);
    std::vector<BYTE> w = Bytes(1536, {{512, 0x50}});  // usable pages 4 and 6
    // (0, 0) empty; (0, 1) block 0x0311 selector 2 without the name; (1, 2) block 0x0412
    // selector 5 with it.
    w[320 + 4] = 0x11;
    w[320 + 5] = 0x03;
    w[320 + 6] = 0x02;
    w[336 + 8] = 0x12;
    w[336 + 9] = 0x04;
    w[336 + 10] = 0x05;
    WideSettings(w);
    Answer({0xF0, 0x01}, Bytes(1024));
    std::vector<BYTE> named = Bytes(1024);
    Put(named, 0, "SM3280ISP");
    FlashPage(0x0412, 4, named);
    FlashPage(0x0412, 6, Bytes(1024, {{0, 0x12}}));
    BYTE out[1024];
    ASSERT_EQ(ReadInfoBlock(47, &request, 1, out, sizeof out, 0x01), 0);
    EXPECT_THAT(Sent(0x01),
                ElementsAre(Cdb({0xF0, 0x01, 0x03, 0x11, 0, 4, 0, 0x34, 0, 0x12, 0x24, 2}),
                            Cdb({0xF0, 0x01, 0x04, 0x12, 0, 4, 0, 0x34, 0, 0x12, 0x54, 2}),
                            Cdb({0xF0, 0x01, 0x04, 0x12, 0, 6, 0x01, 0x34, 0, 0x12, 0x54, 2})));
    EXPECT_EQ(out[0], 0x12);
}

TEST_F(SecondCopy, Sm3281WithoutCodeAreas) {
    FlashInfo(Bytes(512, {{3, 1}}));
    std::vector<BYTE> w = Bytes(1536, {{512, 0x03}, {320, 0x11}});
    WideSettings(w);
    BYTE out[1024];
    EXPECT_EQ(ReadInfoBlock(46, &request, 1, out, sizeof out, 0), 0);
    EXPECT_THAT(Sent(0x01), IsEmpty());
}

TEST(CodeAreaNames, ComparedOverTheirOwnLength) {
    struct Case {
        const char* text;
        int at;
        bool sm3259, sm3281;
    };
    for (const Case& c :
         {Case{"SM3259AA_ISP", 3, true, false}, Case{"SM3271AA_ISP", 3, true, false},
          Case{"SM3271AB_ISP", 3, true, false}, Case{"SM3271AD_ISPxyz", 3, true, false},
          Case{"SM3271AC_ISP", 3, false, false}, Case{"SM3259AA_ISP", 0, false, false},
          Case{"SM3280ISP", 0, false, true}, Case{"SM3280IS", 0, false, false},
          Case{"SM3280ISP", 3, false, false}}) {
        std::vector<BYTE> page = Bytes(32);
        Put(page, c.at, c.text);
        EXPECT_EQ(HasSM3259CodeAreaName(page.data()), c.sm3259) << c.text << " at " << c.at;
        EXPECT_EQ(HasSM3281CodeAreaName(page.data()), c.sm3281) << c.text << " at " << c.at;
    }
}

}  // namespace
