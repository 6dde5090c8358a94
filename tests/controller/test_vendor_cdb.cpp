// The vendor command blocks as data: for each form and model family, the 16 bytes, the
// direction and the transfer length a controller expects.
#include "sdk/controller/vendor_cdb.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace {

std::string Hex(const BYTE* bytes) {
    std::string out;
    char part[4];
    for (int i = 0; i < kCdbSize; ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
        out += part;
    }
    return out;
}

struct Form {
    const char* name;
    VendorCdb (*build)();
    const char* bytes;
    VendorDirection direction;
    DWORD length;
};

const Form kForms[] = {
    {"ram early, unidentified", [] { return RamReadCdb(65535, 5); },
     "F0 2A 00 00 00 00 00 05 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram early, first generation", [] { return RamReadCdb(6, 22); },
     "F0 2A 00 00 00 00 00 16 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram middle, page 5", [] { return RamReadCdb(12, 5); },
     "F0 30 05 00 04 00 00 05 00 00 00 02 00 00 00 00", kVendorDataIn, 1024},
    {"ram current, lowest", [] { return RamReadCdb(16, 0xDC); },
     "F0 04 DC 00 00 00 00 00 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram current, page argument cut to its low byte", [] { return RamReadCdb(40, 0x1D8); },
     "F0 04 D8 00 00 00 00 00 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram current above wide-address", [] { return RamReadCdb(49, 0xD8); },
     "F0 04 D8 00 00 00 00 00 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram current, highest", [] { return RamReadCdb(58, 0xF8); },
     "F0 04 F8 00 00 00 00 00 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram early just above current", [] { return RamReadCdb(59, 1); },
     "F0 2A 00 00 00 00 00 01 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram wide-address", [] { return RamReadCdb(41, 0xC0001800UL); },
     "F0 04 C0 00 18 00 00 00 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"ram wide-address, highest", [] { return RamReadCdb(48, 0xC0001800UL); },
     "F0 04 C0 00 18 00 00 00 00 00 00 03 00 00 00 00", kVendorDataIn, 1536},
    {"identification page, current", [] { return IdentificationPageCdb(false); },
     "F0 04 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"identification page, early", [] { return IdentificationPageCdb(true); },
     "F0 2A 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"page D8, one sector", [] { return RamPageD8Cdb(1); },
     "F0 04 D8 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"page D8, two sectors", [] { return RamPageD8Cdb(2); },
     "F0 04 D8 00 00 00 00 00 00 00 04 02 00 00 00 00", kVendorDataIn, 1024},
    {"sfr current", [] { return SfrReadCdb(16); },
     "F0 03 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"sfr other, middle", [] { return SfrReadCdb(15); },
     "F0 26 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"sfr other, unidentified", [] { return SfrReadCdb(65535); },
     "F0 26 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"flash information current", [] { return FlashInfoCdb(58); },
     "F0 06 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"flash information middle", [] { return FlashInfoCdb(10); },
     "F0 20 00 00 00 00 00 00 00 00 00 01 07 00 00 00", kVendorDataIn, 512},
    {"flash information early", [] { return FlashInfoCdb(9); },
     "F0 20 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"flash information unidentified", [] { return FlashInfoCdb(65535); },
     "F0 20 00 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataIn, 512},
    {"flash pages, two sectors",
     [] { return FlashPageReadCdb(0x1234, 0x0013, 0x30, 0x01, 0x3E, 0x50, 2); },
     "F0 01 12 34 00 13 30 01 00 3E 50 02 00 00 00 00", kVendorDataIn, 1024},
    {"early information block", [] { return EarlyInfoBlockReadCdb(0x03, 4); },
     "F0 02 03 00 00 00 00 00 00 00 00 04 00 00 00 00", kVendorDataIn, 2048},
    {"memory read", [] { return MemoryReadCdb(0x03, 0xFF004D, 8); },
     "F0 F0 03 FF 00 4D 00 08 00 00 00 00 00 00 00 00", kVendorDataIn, 8},
    {"memory write", [] { return MemoryWriteCdb(0xE0, 0x00006C, 2); },
     "F1 F0 E0 00 00 6C 00 02 00 00 00 00 00 00 00 00", kVendorDataOut, 2},
    {"code block load", [] { return CodeBlockLoadCdb(); },
     "F1 0A C8 00 00 00 00 00 00 00 00 01 00 00 00 00", kVendorDataOut, 512},
    {"image load", [] { return ImageLoadCdb(); }, "F1 27 08 F2 D0 00 04 00 00 00 10 04 00 00 07 00",
     kVendorDataOut, 2048},
};

class VendorCdbForm : public ::testing::TestWithParam<Form> {};

TEST_P(VendorCdbForm, BytesDirectionAndLength) {
    const Form& form = GetParam();
    VendorCdb c = form.build();
    EXPECT_EQ(Hex(c.cdb), form.bytes);
    EXPECT_EQ(c.direction, form.direction);
    EXPECT_EQ(c.length, form.length);
}

INSTANTIATE_TEST_SUITE_P(Forms, VendorCdbForm, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<Form>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

}  // namespace
