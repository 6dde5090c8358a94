// Command blocks: the byte order of the field helpers and a builder that leaves nothing of
// an earlier command behind.
#include "sdk/transport/scsi_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

TEST(CommandFields, MostSignificantByteFirst) {
    BYTE b[4] = {0};
    PutBe16(b, 0x1234);
    EXPECT_THAT(std::vector<BYTE>(b, b + 2), ElementsAre(0x12, 0x34));
    EXPECT_EQ(GetBe16(b), 0x1234u);
    PutBe24(b, 0xABCDEF);
    EXPECT_THAT(std::vector<BYTE>(b, b + 3), ElementsAre(0xAB, 0xCD, 0xEF));
    PutBe32(b, 0xFEDCBA98ul);
    EXPECT_THAT(b, ElementsAre(0xFE, 0xDC, 0xBA, 0x98));
    EXPECT_EQ(GetBe32(b), 0xFEDCBA98ul) << "the top byte does not sign-extend";
    PutBe16(b, 0x1FFFF);
    EXPECT_THAT(std::vector<BYTE>(b, b + 2), ElementsAre(0xFF, 0xFF)) << "bits above 16 dropped";
}

TEST(CommandFields, InquiryClearsTheWholeBlock) {
    BYTE cdb[kCdbSize];
    for (BYTE& c : cdb) c = 0xEE;
    BuildInquiryCdb(cdb, 56);
    const BYTE expected[kCdbSize] = {0x12, 0, 0, 0, 56};
    EXPECT_THAT(cdb, ElementsAreArray(expected));
}

}  // namespace
