// Controller identification on the pass-through road: the two identification pages and the
// model table's first match, the fallbacks, the refinements that read further pages and
// registers, the probe by INQUIRY and controller memory, and the record fields it sets.
#include "sdk/trace/debug_trace.h"
#include "sdk/controller/model_table.h"
#include "tests/controller/identify_fixture.h"

#include <string>
#include <vector>

using namespace identify_test;
using ::testing::ElementsAre;

namespace {

const int kNone = 65535;

// ---------------------------------------------------------------------------------------
// The model table as data: the traps its order sets.

TEST(ModelTable, RowOrderDecidesTheFirstMatch) {
    ASSERT_EQ(kControllerModelCount, 53);
    EXPECT_STREQ(ControllerModelTable[0].fullName, "SM325AC/SM321U");
    EXPECT_STREQ(ControllerModelTable[52].fullName, "SM3271AD");
    for (const ControllerModel& row : ControllerModelTable) {
        // Every short name is its full name without the leading "SM", up to a second name.
        std::string full = row.fullName;
        EXPECT_EQ(full.compare(0, 2, "SM"), 0) << full;
        EXPECT_EQ(full.substr(2, std::string(row.shortName).size()), row.shortName) << full;
    }
    // Whole-text matches: a longer name never matches a shorter row.
    EXPECT_EQ(FindModelByShortName("3211BC1", 80), 6);
    EXPECT_EQ(FindModelByShortName("3211BC", 80), 5);
    EXPECT_EQ(FindModelByShortName("3255ENA1", 80), 21);
    EXPECT_EQ(FindModelByShortName("3255AB ", 80), -1);
    EXPECT_EQ(FindModelByShortName("", 80), -1);
    // The first row's second name: only the full-name compare sees it.
    EXPECT_EQ(FindModelByShortName("325AC", 80), 7);
    EXPECT_EQ(FindModelByFullNameTail("325AC", 80), -1);
    EXPECT_EQ(FindModelByFullNameTail("325AC/SM321U", 80), 7);
    // A text that runs to the end of its room without a NUL is compared over that room.
    EXPECT_EQ(FindModelByShortName("3263AAxx", 6), 31);
    EXPECT_EQ(FindModelByShortName("3263AAxx", 5), -1);
}

// The full name a model code is shown by: the first row with the code, the second name
// kept; a code between or beyond the rows has none.
TEST(ModelTable, FullNameOfACode) {
    EXPECT_STREQ(FindModelFullName(7), "SM325AC/SM321U");
    EXPECT_STREQ(FindModelFullName(6), "SM3211BC1");
    EXPECT_STREQ(FindModelFullName(1), "SM3252A");
    EXPECT_STREQ(FindModelFullName(57), "SM3271AD");
    for (int code : {-1, 0, 9, 10, 15, 16, 58, 65535})
        EXPECT_EQ(FindModelFullName(code), nullptr) << code;
    for (const ControllerModel& row : ControllerModelTable)
        EXPECT_EQ(FindModelFullName(row.code), row.fullName) << "codes are unique";
}

// ---------------------------------------------------------------------------------------
// Stage one and stage two

// Either byte of the "SM" mark makes the stage-one page count as named.
struct MarkCase {
    const char* mark;
    int expected;
};
class NamedMark : public PassThroughIdentify, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(NamedMark, EitherByteSuffices) {
    device->On(kStageOnePage, NamedPage("3255AB", GetParam().mark));
    device->On(kStageTwoPage, NamedPage("3263AA"));
    EXPECT_EQ(Detect(), GetParam().expected);
    // A named page that matches a row ends the detection before stage two.
    EXPECT_EQ(SentCount("F0 2A"), GetParam().expected == 17 ? 0 : 1);
}
INSTANTIATE_TEST_SUITE_P(Identify, NamedMark,
                         ::testing::Values(MarkCase{"SM", 17}, MarkCase{"Sx", 17},
                                           MarkCase{"xM", 17}, MarkCase{"--", 31},
                                           MarkCase{"MS", 31}));

// The stage-one names that find no row keep a fallback only when stage two finds none.
struct FallbackCase {
    const char* stageOne;
    const char* stageTwo;  // null: the stage-two read fails
    int expected;
};
class StageOneFallback : public PassThroughIdentify,
                         public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(StageOneFallback, OnlyWhenStageTwoFindsNoRow) {
    const FallbackCase& c = GetParam();
    device->On(kStageOnePage, NamedPage(c.stageOne));
    if (c.stageTwo)
        device->On(kStageTwoPage, NamedPage(c.stageTwo));
    else
        device->Refuse(kStageTwoPage);
    EXPECT_EQ(Detect(), c.expected) << c.stageOne << " / " << (c.stageTwo ? c.stageTwo : "-");
}
INSTANTIATE_TEST_SUITE_P(
    Identify, StageOneFallback,
    ::testing::Values(FallbackCase{"3254AB", "", 11}, FallbackCase{"3254AB", "SMI", 11},
                      FallbackCase{"3254AB", "3260AA", 26}, FallbackCase{"325AB", "", 7},
                      FallbackCase{"325AB", "3263AB", 32}, FallbackCase{"325ABC", "", 7},
                      FallbackCase{"3254ABC", "", 11}, FallbackCase{"3253AB", "", kNone},
                      FallbackCase{"3254AB", nullptr, kNone}, FallbackCase{"32", "", kNone}));

// Stage two compares the whole text with each full name minus its first two characters.
struct StageTwoCase {
    const char* name;
    int expected;
};
class StageTwoName : public PassThroughIdentify,
                     public ::testing::WithParamInterface<StageTwoCase> {};

TEST_P(StageTwoName, WholeTextAgainstTheFullName) {
    device->On(kStageOnePage, NamedPage(GetParam().name, "--"));
    device->On(kStageTwoPage, NamedPage(GetParam().name, "--"));
    BYTE name[20] = {0};
    EXPECT_EQ(Detect(name), GetParam().expected) << GetParam().name;
    // The name buffer holds bytes 430-437 of the last page read.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 2), 6),
              std::string(GetParam().name).append(6, '\0').substr(0, 6));
}
INSTANTIATE_TEST_SUITE_P(Identify, StageTwoName,
                         ::testing::Values(StageTwoCase{"325AC", kNone},
                                           StageTwoCase{"325AC/SM321U", 7},
                                           StageTwoCase{"3211BC1", 6}, StageTwoCase{"3211BC", 5},
                                           StageTwoCase{"3255ABX", kNone},
                                           StageTwoCase{"3257ENBB", 25}, StageTwoCase{"3263AB", 32},
                                           StageTwoCase{"", kNone}));

TEST_F(PassThroughIdentify, NameBufferTakesTheStageOnePageWhenItMatches) {
    device->On(kStageOnePage, NamedPage("3260AB"));
    BYTE name[20];
    std::memset(name, 0x5A, sizeof name);
    EXPECT_EQ(Detect(name), 27);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), 8), "SM3260AB");
    // Only the eight bytes are written.
    EXPECT_EQ(name[8], 0x5A);
    EXPECT_EQ(Detect(NULL), 27);
}

// A name of "3270" is an SM3271 when page 0xD8 says so; the rewritten name is then eligible
// for the SM3271AD check.
struct RenameCase {
    const char* label;
    const char* stageTwo;
    const char* pageD8;      // null: the read fails
    const char* memoryName;  // null: not scripted (must not be read)
    int expected;
};
class Rename : public PassThroughIdentify, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(Rename, PageD8SaysWhichController) {
    const RenameCase& c = GetParam();
    device->On(kStageOnePage, NamedPage("", "--"));
    device->On(kStageTwoPage, NamedPage(c.stageTwo));
    if (c.pageD8)
        device->On(kPageD8, BytesWith(512, 2, c.pageD8));
    else
        device->Refuse(kPageD8);
    device->On(kRevisionByte, {0x00, 0x00});
    if (c.memoryName) device->On(kModelName, BytesWith(8, 0, c.memoryName));
    BYTE name[20] = {0};
    EXPECT_EQ(Detect(name), c.expected) << c.label;
    EXPECT_EQ(SentCount("F0 04 D8") > 0, std::string(c.stageTwo).compare(0, 4, "3270") == 0)
        << c.label;
    if (c.pageD8 && std::string(c.pageD8) == "3271") {
        EXPECT_EQ(name[5], '1') << "the rewritten name is what the caller sees";
    }
}
INSTANTIATE_TEST_SUITE_P(
    Identify, Rename,
    ::testing::Values(RenameCase{"rewritten", "3270AC", "3271", "SM3271AC", 56},
                      RenameCase{"rewritten, then AD", "3270AC", "3271", "SM3271AD", 57},
                      RenameCase{"page says 3270", "3270AC", "3270", nullptr, 51},
                      RenameCase{"page read fails", "3270AC", nullptr, nullptr, 51},
                      RenameCase{"named 3271 itself", "3271AC", nullptr, nullptr, 56},
                      RenameCase{"rewritten AB", "3270AB", "3271", nullptr, 55},
                      RenameCase{"rewritten AA", "3270AA", "3271", nullptr, 54}));

// Revision names on the three-sector RAM page 0 read with the matched code.
struct RevisionCase {
    const char* name;
    int at;  // -1: the read fails
    const char* revision;
    int expected;
};
class RevisionName : public PassThroughIdentify,
                     public ::testing::WithParamInterface<RevisionCase> {};

TEST_P(RevisionName, FirstHitWins) {
    const RevisionCase& c = GetParam();
    device->On(kStageOnePage, NamedPage("", "--"));
    device->On(kStageTwoPage, NamedPage(c.name));
    if (c.at < 0)
        device->Refuse(kConfirmationPage);
    else
        device->On(kConfirmationPage, BytesWith(1536, c.at, c.revision));
    EXPECT_EQ(Detect(), c.expected) << c.name << " " << c.revision;
    EXPECT_EQ(SentCount(kConfirmationPage), c.at < 0 ? 6 : 1);
}
INSTANTIATE_TEST_SUITE_P(Identify, RevisionName,
                         ::testing::Values(RevisionCase{"3255ENAA", 48, "3255ENA1", 21},
                                           RevisionCase{"3255ENAA", 48, "3255ENA2", 20},
                                           RevisionCase{"3257ENLT", 48, "3257ENLTBA", 24},
                                           RevisionCase{"3257ENLT", 48, "3257ENLTBB", 25},
                                           RevisionCase{"3257ENLT", 48, "3257ENLT", 23},
                                           RevisionCase{"3261AA", 79, "3261AB", 30},
                                           RevisionCase{"3261AA", 48, "3261AB", 29},
                                           RevisionCase{"3259AA", 79, "3259AB", 53},
                                           RevisionCase{"3259AA", 79, "", 52},
                                           // The names are checked in order whatever the code.
                                           RevisionCase{"3261AA", 48, "3255ENA1", 21},
                                           RevisionCase{"3255ENAA", -1, "", kNone}));

// SM3270AB and SM3271AB whose revision byte says AC.
struct RevisionByteCase {
    const char* name;
    int revision;  // -1: the read fails
    int expected;
};
class RevisionByte : public PassThroughIdentify,
                     public ::testing::WithParamInterface<RevisionByteCase> {};

TEST_P(RevisionByte, RefinesAtStageTwo) {
    const RevisionByteCase& c = GetParam();
    device->On(kStageOnePage, NamedPage("", "--"));
    device->On(kStageTwoPage, NamedPage(c.name));
    device->On(kPageD8, BytesWith(512, 2, "3270"));
    if (c.revision < 0)
        device->Refuse(kRevisionByte);
    else
        device->On(kRevisionByte, {static_cast<BYTE>(c.revision), 0x00});
    EXPECT_EQ(Detect(), c.expected) << c.name << " " << c.revision;
}
INSTANTIATE_TEST_SUITE_P(
    Identify, RevisionByte,
    ::testing::Values(RevisionByteCase{"3270AB", 0x3C, 51}, RevisionByteCase{"3270AB", 0x4C, 51},
                      RevisionByteCase{"3270AB", 0x3D, 50}, RevisionByteCase{"3270AB", -1, 50},
                      RevisionByteCase{"3271AB", 0x3D, 56}, RevisionByteCase{"3271AB", 0x4D, 56},
                      RevisionByteCase{"3271AB", 0x3C, 55}, RevisionByteCase{"3271AB", -1, 55}));

// The SM3280 family: the variant byte, and for an SM3280BB the register chain that
// finds an SM3282BB.
struct VariantCase {
    const char* label;
    const char* name;
    int variant;       // -1: the read fails
    bool checkWrites;  // the check write succeeds
    int checkResult;   // -1: the read fails
    int expected;
};
class VariantByte : public PassThroughIdentify,
                    public ::testing::WithParamInterface<VariantCase> {};

TEST_P(VariantByte, RegisterChain) {
    const VariantCase& c = GetParam();
    device->On(kStageOnePage, NamedPage("", "--"));
    device->On(kStageTwoPage, NamedPage(c.name));
    if (c.variant < 0)
        device->Refuse(kVariantByte);
    else
        device->On(kVariantByte, {static_cast<BYTE>(c.variant), 0x00});
    device->On(kSM3282CheckRead, {0x77, 0x66});
    if (c.checkWrites)
        device->On(kSM3282CheckWrite);
    else
        device->Refuse(kSM3282CheckWrite);
    if (c.checkResult < 0)
        device->Refuse(kSM3282Result);
    else
        device->On(kSM3282Result, {static_cast<BYTE>(c.checkResult), 0xFF});
    EXPECT_EQ(Detect(), c.expected) << c.label;

    bool chain = std::string(c.name) == "3280BB" && c.variant >= 0 && c.variant != 0x9F;
    EXPECT_EQ(SentCount("F0 F0 E0 00 00 6C"), chain ? 1 : 0) << c.label;
    if (chain && c.checkWrites) {
        // The register's own second byte goes back with the first replaced by 0D.
        ASSERT_EQ(device->written.size(), 1u);
        EXPECT_THAT(device->written[0].data, ElementsAre(0x0D, 0x66));
        EXPECT_GE(SentCount("F0 F0 E0 00 00 6D"), 1) << c.label;
    } else {
        EXPECT_TRUE(device->written.empty()) << c.label;
        EXPECT_EQ(SentCount("F0 F0 E0 00 00 6D"), 0) << c.label;
    }
}
INSTANTIATE_TEST_SUITE_P(
    Identify, VariantByte,
    ::testing::Values(VariantCase{"SM3281AB", "3280AB", 0x2F, true, 0, 46},
                      VariantCase{"SM3280AB", "3280AB", 0x8F, true, 0, 42},
                      VariantCase{"SM3281BA", "3280BA", 0x8F, true, 0, 47},
                      VariantCase{"SM3280BA", "3280BA", 0x2F, true, 0, 43},
                      VariantCase{"SM3281BB", "3280BB", 0x9F, true, 1, 48},
                      VariantCase{"SM3282BB", "3280BB", 0x00, true, 0x01, 45},
                      VariantCase{"SM3282BB, bit 0 only", "3280BB", 0x00, true, 0xFF, 45},
                      VariantCase{"SM3280BB", "3280BB", 0x00, true, 0xFE, 44},
                      VariantCase{"write refused", "3280BB", 0x00, false, 0x01, 44},
                      VariantCase{"result read fails", "3280BB", 0x00, true, -1, 44},
                      VariantCase{"variant read fails", "3280BB", -1, true, 0x01, 44},
                      VariantCase{"3282BB by name", "3282BB", 0x00, true, 0x01, 45}));

// ---------------------------------------------------------------------------------------
// The probe by INQUIRY and controller memory

struct ProbeCase {
    const char* label;
    int inquiry;             // 0: not an SMI lead, 1: SMI lead, 2: SMI lead and "smi"
    const char* memoryName;  // null: the read fails
    int registerByte;        // revision (space 03) or variant byte (space E0); -1: fails
    int expected;
    bool reachesStageOne;
};
class Probe : public PassThroughIdentify, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, InquiryAndMemoryName) {
    const ProbeCase& c = GetParam();
    if (c.inquiry) device->inquiry = SmiInquiry(c.inquiry == 2);
    const char* nameRead = c.inquiry == 2 ? kSmiName : kModelName;
    const char* byteRead = c.inquiry == 2 ? kVariantByte : kRevisionByte;
    if (c.memoryName)
        device->On(nameRead, BytesWith(8, 0, c.memoryName));
    else
        device->Refuse(nameRead);
    if (c.registerByte < 0)
        device->Refuse(byteRead);
    else
        device->On(byteRead, {static_cast<BYTE>(c.registerByte), 0x00});
    device->On(kCodeState, {0x08, 0x00});
    device->On(kStageOnePage, NamedPage("3263AB"));
    EXPECT_EQ(Detect(), c.expected) << c.label;
    EXPECT_EQ(SentCount("F0 04 00"), c.reachesStageOne ? 1 : 0) << c.label;
    EXPECT_EQ(SentCount("12"), 1) << "one INQUIRY when it is answered";
}
INSTANTIATE_TEST_SUITE_P(
    Identify, Probe,
    ::testing::Values(ProbeCase{"not an SMI lead", 0, nullptr, 0, 32, true},
                      ProbeCase{"SM3267AB", 1, "SM3267AB", 0, 34, false},
                      ProbeCase{"SM3270AA", 1, "SM3270AA", 0, 49, false},
                      ProbeCase{"SM3271AA", 1, "SM3271AA", 0, 54, false},
                      ProbeCase{"SM3271AC", 1, "SM3271AC", 0, 56, false},
                      ProbeCase{"SM3271AD", 1, "SM3271AD", 0, 57, false},
                      ProbeCase{"SM3270AB", 1, "SM3270AB", 0x3D, 50, false},
                      ProbeCase{"SM3270AB as AC", 1, "SM3270AB", 0x4C, 51, false},
                      ProbeCase{"SM3271AB", 1, "SM3271AB", 0x3C, 55, false},
                      ProbeCase{"SM3271AB as AC", 1, "SM3271AB", 0x3D, 56, false},
                      ProbeCase{"revision read fails", 1, "SM3271AB", -1, kNone, false},
                      ProbeCase{"unknown memory name", 1, "SM3263AB", 0, 32, true},
                      ProbeCase{"memory name read fails", 1, nullptr, 0, kNone, false},
                      ProbeCase{"smi SM3280AB", 2, "SM3280AB", 0x00, 42, false},
                      ProbeCase{"smi SM3281AB", 2, "SM3280AB", 0x2F, 46, false},
                      ProbeCase{"smi SM3280BA", 2, "SM3280BA", 0x2F, 43, false},
                      ProbeCase{"smi SM3281BA", 2, "SM3280BA", 0x8F, 47, false},
                      ProbeCase{"smi variant read fails", 2, "SM3280AB", -1, kNone, false},
                      ProbeCase{"smi name read fails", 2, nullptr, 0, kNone, false}));

TEST_F(PassThroughIdentify, SmiSM3280BBGoesOnToBothStages) {
    device->inquiry = SmiInquiry(true);
    device->On(kSmiName, BytesWith(8, 0, "SM3280BB"));
    device->On(kStageOnePage, NamedPage("", "--"));
    device->On(kStageTwoPage, NamedPage("3280BB"));
    device->On(kVariantByte, {0x9F, 0x00});
    EXPECT_EQ(Detect(), 48);
    EXPECT_THAT(
        SentCdbs(),
        ElementsAre(::testing::StartsWith("12"), ::testing::StartsWith("F0 F0 00 00 FF E7 00 08"),
                    ::testing::StartsWith(kStageOnePage), ::testing::StartsWith(kStageTwoPage),
                    ::testing::StartsWith(kVariantByte)));
}

TEST_F(PassThroughIdentify, InquiryIsTriedThreeTimes) {
    device->inquiry = SmiInquiry(false);
    device->failInquiry = true;
    EXPECT_EQ(Detect(), kNone);
    EXPECT_EQ(SentCount("12"), 3);
    EXPECT_EQ(m.journal.scsiCommands.size(), 3u);
}

// ---------------------------------------------------------------------------------------
// The strategy's result and the record fields

struct RecordCase {
    const char* stageOne;
    int code;
    int descriptorOffset;
    int ctrlFlag;
};
class RecordFields : public PassThroughIdentify,
                     public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordFields, OffsetsAndFlagFollowTheCode) {
    const RecordCase& c = GetParam();
    device->On(kStageOnePage, NamedPage(c.stageOne));
    device->On(kStageTwoPage, NamedPage(""));
    info.ctrlFlag = 7;
    info.descriptorOffset = 99;
    info.secondOffset = 99;
    EXPECT_EQ(IdentifyControllerPassThrough(&info), 1);
    EXPECT_EQ(CurrentModelCode, c.code);
    EXPECT_EQ(info.modelCode, c.code);
    EXPECT_EQ(info.descriptorOffset, c.descriptorOffset);
    EXPECT_EQ(info.secondOffset, c.descriptorOffset ? 58 : 0);
    EXPECT_EQ(info.ctrlFlag, c.ctrlFlag);
    EXPECT_EQ(DebugSwitchLoaded, 1u);
    // The detection runs on the record's handle with a 5-second time-out.
    for (const auto& sent : m.journal.scsiCommands)
        if (sent.command.cdb[0] != 0x12) {
            EXPECT_EQ(sent.command.timeoutSeconds, 5u);
        }
}
INSTANTIATE_TEST_SUITE_P(
    Identify, RecordFields,
    ::testing::Values(RecordCase{"3211BC1", 6, 0, 1}, RecordCase{"3211BC", 5, 0, 0},
                      RecordCase{"325AB", 7, 0, 0}, RecordCase{"3252A", 1, 0, 0},
                      RecordCase{"3254AB", 11, 32, 0}, RecordCase{"3267AA", 33, 32, 0}));

struct FailCase {
    const char* label;
    bool inquiryAnswers;
};
class FailsEverything : public PassThroughIdentify,
                        public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailsEverything, NotIdentifiedWithShiftedOffsets) {
    device->failInquiry = !GetParam().inquiryAnswers;
    device->Refuse("");
    info.ctrlFlag = 1;
    EXPECT_EQ(IdentifyController(&info), 0);
    EXPECT_EQ(CurrentModelCode, kNone);
    EXPECT_EQ(info.modelCode, kNone);
    EXPECT_EQ(info.descriptorOffset, 32);
    EXPECT_EQ(info.secondOffset, 58);
    EXPECT_EQ(info.ctrlFlag, 0);
    EXPECT_TRUE(device->written.empty());
}
INSTANTIATE_TEST_SUITE_P(Identify, FailsEverything,
                         ::testing::Values(FailCase{"no INQUIRY", false},
                                           FailCase{"no vendor command", true}));

TEST_F(PassThroughIdentify, ClosedDeviceFailsEveryCommand) {
    CloseHandle(info.deviceHandle);
    info.deviceHandle = INVALID_HANDLE_VALUE;
    EXPECT_EQ(IdentifyControllerPassThrough(&info), 0);
    EXPECT_EQ(CurrentModelCode, kNone);
    EXPECT_TRUE(m.journal.scsiCommands.empty());
}

}  // namespace
