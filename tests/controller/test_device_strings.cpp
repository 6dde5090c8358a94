// The USB manufacturer and product strings: the extraction from block bytes, and the
// whole read of a disk's strings through identification and the information block.
#include "sdk/controller/device_strings.h"
#include "sdk/controller/info_block.h"
#include "tests/controller/test_info_block_fixture.h"

#include <cstring>
#include <string>

namespace {

// A string descriptor at `at`: length byte, type 3, then the UTF-16LE units.
void Descriptor(std::vector<BYTE>& block, int at, int lengthByte, const std::u16string& text) {
    block[at] = static_cast<BYTE>(lengthByte);
    block[at + 1] = 3;
    for (size_t i = 0; i < text.size(); ++i) {
        block[at + 2 + 2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        block[at + 3 + 2 * i] = static_cast<BYTE>(text[i] >> 8);
    }
}

struct ExtractCase {
    const char* name;
    int lengthByte;
    std::u16string text;
    int blockLength;
    int outSize;
    std::string expected;
};

class Extraction : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(Extraction, OneDescriptor) {
    const ExtractCase& c = GetParam();
    std::vector<BYTE> block(2048, 0);
    Descriptor(block, 22, c.lengthByte, c.text);
    std::vector<char> out(static_cast<size_t>(c.outSize) + 4, '#');
    int n = ExtractDescriptorString(block.data(), c.blockLength, 22, out.data(), c.outSize);
    EXPECT_EQ(std::string(out.data()), c.expected);
    EXPECT_EQ(n, static_cast<int>(c.expected.size()));
    EXPECT_EQ(out[static_cast<size_t>(c.outSize)], '#') << "nothing written past the buffer";
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, Extraction,
    ::testing::Values(ExtractCase{"whole", 10, u"SMI!", 2048, 64, "SMI!"},
                      ExtractCase{"empty descriptor", 2, u"XY", 2048, 64, ""},
                      ExtractCase{"length byte 0", 0, u"XY", 2048, 64, ""},
                      ExtractCase{"length byte 1", 1, u"XY", 2048, 64, ""},
                      ExtractCase{"odd length truncates", 7, u"ABCD", 2048, 64, "AB"},
                      ExtractCase{"high byte dropped", 4, u"\u0141", 2048, 64, "A"},
                      ExtractCase{"over-long cut at 63", 254, std::u16string(126, u'x'), 2048, 64,
                                  std::string(63, 'x')},
                      ExtractCase{"block ends inside the text", 12, u"ABCDE", 29, 64, "ABC"},
                      ExtractCase{"block ends before the length byte", 12, u"ABCDE", 22, 64, ""},
                      ExtractCase{"one-byte output", 12, u"ABCDE", 2048, 1, ""}));

TEST(DeviceStrings, DescriptorOffsetShiftsBoth) {
    std::vector<BYTE> block(2048, 0);
    Descriptor(block, 54, 8, u"Maker");
    Descriptor(block, 116, 10, u"Disk");
    Descriptor(block, 22, 6, u"no");
    char vendor[kDeviceStringSize], product[kDeviceStringSize];
    ExtractDeviceStrings(block.data(), 2048, 32, vendor, product, kDeviceStringSize);
    EXPECT_STREQ(vendor, "Mak");
    EXPECT_STREQ(product, "Disk");
    ExtractDeviceStrings(block.data(), 100, 32, vendor, product, kDeviceStringSize);
    EXPECT_STREQ(vendor, "Mak");
    EXPECT_STREQ(product, "") << "a 100-byte block holds no product descriptor at 116";
}

// The whole read on E:'s pass-through handle.
class DiskStrings : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        ResetSMIDiskInfo(&info);
        info.driveLetter = 'E';
        info.deviceHandle = request.deviceHandle;
    }
    SMIDiskInfo info;
    char vendor[kDeviceStringSize] = {0};
    char product[kDeviceStringSize] = {0};
};

TEST(StringResult, FirstGenerationNeedsTheStringTypeAtByte23) {
    struct Case {
        const char* name;
        int code;
        int readResult;
        int byte23;
        int result;
        const char* vendor;
    };
    // Codes above 10 read their descriptors 32 bytes further on.
    for (const Case& c :
         {Case{"type 3", 5, 1, 3, 1, "AB"}, Case{"type 3 after a failed read", 9, 0, 3, 1, "AB"},
          Case{"no type although the read succeeded", 0, 1, 0, 0, ""},
          Case{"later codes keep the read's result", 12, 1, 0, 1, "AB"},
          Case{"later codes, failed read", 12, 0, 3, 0, "AB"}}) {
        std::vector<BYTE> block(2048, 0);
        int offset = c.code > 10 ? 32 : 0;
        Descriptor(block, offset + 22, 6, u"AB");
        block[23] = static_cast<BYTE>(c.byte23);
        char vendor[kDeviceStringSize] = {0}, product[kDeviceStringSize] = {0};
        EXPECT_EQ(DeviceStringsFromBlock(c.code, c.readResult, block.data(), 2048, offset, vendor,
                                         product, kDeviceStringSize),
                  c.result)
            << c.name;
        EXPECT_STREQ(vendor, c.vendor) << c.name;
    }
    char vendor[kDeviceStringSize] = {0}, product[kDeviceStringSize] = {0};
    BYTE shortBlock[20] = {0};
    EXPECT_EQ(DeviceStringsFromBlock(3, 1, shortBlock, sizeof shortBlock, 0, vendor, product,
                                     kDeviceStringSize),
              0)
        << "a block that ends before byte 23 carries no type";
}

TEST_F(DiskStrings, MissingRecordAndNoHandle) {
    EXPECT_EQ(GetDeviceStrings(NULL, vendor, product), 0);
    // On the ASPI road the record carries no volume handle: the read cannot reach the device.
    info.deviceHandle = INVALID_HANDLE_VALUE;
    info.modelCode = 21;
    std::strcpy(vendor, "stale");
    EXPECT_EQ(GetDeviceStrings(&info, vendor, product), 0);
    EXPECT_STREQ(vendor, "");
    EXPECT_STREQ(product, "");
    EXPECT_TRUE(m.journal.scsiCommands.empty() || !m.journal.scsiCommands.back().succeeded);
}

TEST_F(DiskStrings, CurrentModelBlockAtOffset32) {
    FlashInfo(Reply(0x0040));
    std::vector<BYTE> page = DescriptorPage(2048, 1);
    Descriptor(page, 54, 12, u"Maker");
    Descriptor(page, 116, 10, u"Stick");
    FlashPage(0x0040, 0, page);
    CurrentModelCode = 21;  // copy 1 has no block (settings name none, the record's page fails)
    Refuse({0xF0, 0x01, 0x00, 0x40, 0x00, 0x01});
    BYTE block[kInfoBlockReadSize];
    EXPECT_EQ(ReadDiskInfoBlock(&info, block), 0)
        << "the trial read of copy 1 fails, and with it the block read";

    device->rules.erase(device->rules.begin());
    Answer({0xF0, 0x01, 0x00, 0x40, 0x00, 0x01}, Bytes(1024));
    EXPECT_EQ(ReadDiskInfoBlock(&info, block), 1);
    EXPECT_EQ(block[0], 0x12);
    EXPECT_EQ(
        DeviceStringsFromBlock(21, 1, block, sizeof block, 32, vendor, product, kDeviceStringSize),
        1);
    EXPECT_STREQ(vendor, "Maker");
    EXPECT_STREQ(product, "Stic");
}

}  // namespace
