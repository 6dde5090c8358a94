// Loading controller code: which SM3270 and SM3271 models get which blocks, in what order,
// with the pause between them; the register bit that says the code already runs; and the
// SM3252D image. These tests run with test code blocks.
#include "sdk/controller/controller_code.h"
#include "tests/controller/identify_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace identify_test;
using ::testing::Each;
using ::testing::ElementsAre;

namespace {

const int kNone = 65535;

std::vector<BYTE> Block(int modelCode, int which) {
    const BYTE* block = ControllerCodeBlock(modelCode, which);
    return block ? std::vector<BYTE>(block, block + kCodeBlockSize) : std::vector<BYTE>();
}

TEST(ControllerCode, GroupsShareTheirBlocks) {
    // The test program carries test blocks, marked as such.
    ASSERT_NE(ControllerCodeBlock(50, 0), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ControllerCodeBlock(50, 0)) + 3, 18),
              "KORVANTA TEST CODE");
    EXPECT_EQ(Block(55, 0), Block(56, 0));
    EXPECT_EQ(Block(55, 1), Block(56, 1));
    EXPECT_NE(Block(55, 0), Block(55, 1));
    EXPECT_NE(Block(50, 0), Block(51, 0));
    EXPECT_NE(Block(56, 0), Block(57, 0));
    for (int code : {0, 6, 30, 49, 52, 54, 58, 65535}) {
        EXPECT_EQ(ControllerCodeBlock(code, 0), nullptr) << code;
        EXPECT_EQ(ControllerCodeBlock(code, 1), nullptr) << code;
    }
    EXPECT_EQ(ControllerCodeBlock(50, 2), nullptr);
    EXPECT_EQ(ControllerCodeBlock(50, -1), nullptr);
    const BYTE* image = SM3252DCodeImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0], 0x02);
    EXPECT_EQ(image[1], 0xD0);
    EXPECT_EQ(image[2], 0x03);
}

// The journal lines of code loads and pauses, in order.
std::vector<std::string> LoadsAndPauses() {
    std::vector<std::string> out;
    for (const std::string& line : sim::machine().journal.lines) {
        if (line.find("cdb F1 0A C8") != std::string::npos)
            out.push_back(line.find(" failed") == std::string::npos ? "load" : "load failed");
        else if (line.compare(0, 6, "sleep ") == 0)
            out.push_back(line);
    }
    return out;
}

struct PreloadCase {
    const char* memoryName;
    int revision;
    int code;
    bool sendsBlocks;
};
class Preload : public PassThroughIdentify, public ::testing::WithParamInterface<PreloadCase> {
protected:
    void Script(BYTE state) {
        device->inquiry = SmiInquiry(false);
        device->On(kModelName, BytesWith(8, 0, GetParam().memoryName));
        device->On(kRevisionByte, {static_cast<BYTE>(GetParam().revision), 0x00});
        device->On(kCodeState, {state, 0x00});
    }
};

TEST_P(Preload, BlocksThenPauseThenBlock) {
    const PreloadCase& c = GetParam();
    Script(0xF7);  // every bit but bit 3
    device->On(kCodeLoad);
    EXPECT_EQ(Detect(), c.code);
    EXPECT_EQ(SentCount(kCodeState), 1);
    if (c.sendsBlocks) {
        EXPECT_THAT(LoadsAndPauses(), ElementsAre("load", "sleep 1000", "load"));
        ASSERT_EQ(device->written.size(), 2u);
        EXPECT_EQ(device->written[0].data, Block(c.code, 0));
        EXPECT_EQ(device->written[1].data, Block(c.code, 1));
        EXPECT_EQ(device->written[0].cdb, "F1 0A C8 00 00 00 00 00 00 00 00 01 00 00 00 00");
    } else {
        EXPECT_THAT(LoadsAndPauses(), ElementsAre("sleep 1000"));
        EXPECT_TRUE(device->written.empty());
    }
    // The pages are never read: the probe settled the model.
    EXPECT_EQ(SentCount("F0 04 00"), 0);
    EXPECT_EQ(SentCount("F0 2A"), 0);
}

TEST_P(Preload, RunningCodeIsLeftAlone) {
    Script(0x08);
    EXPECT_EQ(Detect(), GetParam().code);
    EXPECT_EQ(SentCount(kCodeState), 1);
    EXPECT_TRUE(LoadsAndPauses().empty());
    EXPECT_TRUE(device->written.empty());
}
INSTANTIATE_TEST_SUITE_P(Identify, Preload,
                         ::testing::Values(PreloadCase{"SM3270AA", 0, 49, false},
                                           PreloadCase{"SM3271AA", 0, 54, false},
                                           PreloadCase{"SM3270AB", 0x00, 50, true},
                                           PreloadCase{"SM3270AB", 0x3C, 51, true},
                                           PreloadCase{"SM3271AB", 0x00, 55, true},
                                           PreloadCase{"SM3271AB", 0x4D, 56, true},
                                           PreloadCase{"SM3271AC", 0, 56, true},
                                           PreloadCase{"SM3271AD", 0, 57, true}));

TEST_F(PassThroughIdentify, PreloadFailuresStopAtOnce) {
    ScsiRequest r = Request();
    // The register read fails: nothing is sent, no pause.
    device->Refuse(kCodeState);
    EXPECT_EQ(PreloadControllerCode(&r, 50), 0);
    // Only the read's own six attempts and their retry pauses.
    EXPECT_EQ(SentCount(kCodeState), 6);
    EXPECT_THAT(LoadsAndPauses(), Each(std::string("sleep 100")));
    EXPECT_TRUE(device->written.empty());
}

TEST_F(PassThroughIdentify, RefusedFirstBlockEndsThePreload) {
    device->On(kCodeState, {0x00, 0x00});
    device->Refuse(kCodeLoad);
    ScsiRequest r = Request();
    EXPECT_EQ(PreloadControllerCode(&r, 57), 0);
    // Six attempts of the first block, each followed by the transfer's own 100 ms retry
    // pause; no 1000 ms pause and no second block.
    std::vector<std::string> seen = LoadsAndPauses();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "load failed"), 6);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "sleep 1000"), 0);
}

TEST_F(PassThroughIdentify, RefusedSecondBlockFailsThePreload) {
    device->On(kCodeState, {0x00, 0x00});
    device->On(kCodeLoad);
    device->writesAccepted = 1;  // the first block goes in, the second is refused
    ScsiRequest r = Request();
    EXPECT_EQ(PreloadControllerCode(&r, 55), 0);
    std::vector<std::string> seen = LoadsAndPauses();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0], "load");
    EXPECT_EQ(seen[1], "sleep 1000");
    EXPECT_EQ(seen[2], "load failed");
}

TEST_F(PassThroughIdentify, ModelsOutsideTheGroupsAreSentNothing) {
    device->On(kCodeState, {0x00, 0x00});
    ScsiRequest r = Request();
    for (int code : {30, 52, 58, 65535}) EXPECT_EQ(PreloadControllerCode(&r, code), 0) << code;
    EXPECT_TRUE(device->written.empty());
    EXPECT_TRUE(LoadsAndPauses().empty());
}

// The SM3252D: its image goes in, then RAM page 22 in the early form tells the variants
// apart.
struct SM3252DCase {
    const char* label;
    bool imageTaken;
    int page22;  // -1: the read fails; else 1 when it carries the variant mark
    int expected;
};
class SM3252D : public PassThroughIdentify, public ::testing::WithParamInterface<SM3252DCase> {};

TEST_P(SM3252D, ImageThenPage22) {
    const SM3252DCase& c = GetParam();
    device->On(kStageOnePage, NamedPage("3252D"));
    if (c.imageTaken)
        device->On(kImageLoad);
    else
        device->Refuse(kImageLoad);
    std::vector<BYTE> page(1536, 0);
    if (c.page22 == 1) {
        page[496] = 0x14;
        page[497] = 0x76;
    } else {
        page[496] = 0x14;
        page[497] = 0x77;
    }
    if (c.page22 < 0)
        device->Refuse(kPage22Early);
    else
        device->On(kPage22Early, page);
    EXPECT_EQ(IdentifyControllerPassThrough(&info), c.expected == kNone ? 0 : 1) << c.label;
    EXPECT_EQ(CurrentModelCode, c.expected) << c.label;
    EXPECT_EQ(SentCount("F0 2A 00 00 00 00 00 00"), 0) << "no stage two";
    if (c.imageTaken) {
        ASSERT_EQ(device->written.size(), 1u);
        const BYTE* image = SM3252DCodeImage();
        EXPECT_EQ(device->written[0].data, std::vector<BYTE>(image, image + kCodeImageSize));
        EXPECT_EQ(device->written[0].cdb, kImageLoad);
    } else {
        EXPECT_EQ(SentCount("F0 2A"), 0) << "no page 22 read after a refused image";
    }
}
INSTANTIATE_TEST_SUITE_P(Identify, SM3252D,
                         ::testing::Values(SM3252DCase{"variant mark", true, 1, 5},
                                           SM3252DCase{"no variant mark", true, 0, 6},
                                           SM3252DCase{"page 22 fails", true, -1, kNone},
                                           SM3252DCase{"image refused", false, 1, kNone}));

}  // namespace
