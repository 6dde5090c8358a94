#include "smi_controller.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sim {

namespace {

// Where a controller keeps its information block, by the model codes that identification
// settles on for it.
bool IsCurrent(int code) { return code >= 16 && code <= 58; }
bool IsWide(int code) { return code >= 41 && code <= 48; }
bool KeepsSettingsInD8(int code) { return code >= 26 && code <= 57; }
bool MovesBlockNumbersToDC(int code) { return code >= 26 && code <= 33; }
bool HasSM3259CodeArea(int code) { return code >= 52 && code <= 57; }
bool HasSM3281CodeArea(int code) { return code >= 46 && code <= 48; }
bool SelectsEarlyBlock(int code) { return code == 5 || code == 6; }
bool IsMiddle(int code) { return code >= 10 && code <= 15; }
const int kSingleBlockModel = 19;
const int kAltBlockModel = 24;
const int kOwnBlockModel = 17;

enum : unsigned { kNoBlock = 0xFFFF };
enum : DWORD { kWideSettingsAddress = 0xC0001800UL };
enum : size_t {
    kRamPageBytes = 1536,
    kBlockBytes = 2048,
    kEarlyBlockBytes = 512,
};

// The pages the controller writes: copy 0 first in its block, copy 1 behind it; in a code
// area the name page and the copy on the bitmap's first two usable pages.
enum : unsigned {
    kFirstCopyPage = 0,
    kSecondCopyPage = 1,
    kCodeAreaNamePage = 2,
    kCodeAreaCopyPage = 3,
    kSM3281CodeAreaBlock = 0x0200,
};
enum : BYTE {
    kCodeAreaBitmap = 0x0C,  // pages 2 and 3
    kSM3281Selector = 1,
    kEarlySelector = 1,
};

unsigned Be16(const std::vector<BYTE>& b, size_t at) {
    return at + 1 < b.size() ? (unsigned(b[at]) << 8) | b[at + 1] : 0;
}
unsigned Le16(const std::vector<BYTE>& b, size_t at) {
    return at + 1 < b.size() ? unsigned(b[at]) | (unsigned(b[at + 1]) << 8) : 0;
}
BYTE At(const std::vector<BYTE>& b, size_t at) { return at < b.size() ? b[at] : 0; }

void PutBe16(std::vector<BYTE>& b, size_t at, unsigned v) {
    b[at] = static_cast<BYTE>(v >> 8);
    b[at + 1] = static_cast<BYTE>(v);
}

// A RAM page of the image, created zeroed when the image holds none.
std::vector<BYTE>& RamPage(ControllerImage& image, unsigned page) {
    std::vector<BYTE>& p = image.ramPages[page];
    if (p.size() < kRamPageBytes) p.resize(kRamPageBytes, 0);
    return p;
}
std::vector<BYTE>& RamAt(ControllerImage& image, DWORD address) {
    std::vector<BYTE>& p = image.ramAtAddress[address];
    if (p.size() < kRamPageBytes) p.resize(kRamPageBytes, 0);
    return p;
}

// One string descriptor: length byte, type 3, UTF-16LE characters, at most `room` bytes.
void PutStringDescriptor(std::vector<BYTE>& block, size_t at, const std::string& text,
                         size_t room) {
    size_t chars = std::min(text.size(), std::min<size_t>((room - 2) / 2, 126));
    block[at] = static_cast<BYTE>(2 + 2 * chars);
    block[at + 1] = 3;
    for (size_t i = 0; i < chars; ++i) block[at + 2 + 2 * i] = static_cast<BYTE>(text[i]);
}

// The block as the controller stores it: the USB device descriptor, then the manufacturer
// and product string descriptors at 22 and 84, 32 bytes further on for codes above 10.
std::vector<BYTE> InfoBlock(const ControllerProfile& profile, size_t size, bool secondCopy) {
    std::vector<BYTE> block(size, 0);
    const BYTE descriptor[18] = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x0C,
                                 0x09, 0x00, 0x10, 0x00, 0x11, 0x01, 0x02, 0x03, 0x01};
    std::memcpy(block.data(), descriptor, sizeof descriptor);
    size_t offset = profile.modelCode > 10 ? 32 : 0;
    size_t manufacturer = offset + 22, product = offset + 84;
    PutStringDescriptor(block, manufacturer, profile.manufacturer, product - manufacturer);
    PutStringDescriptor(block, product, profile.product, std::min<size_t>(size, 510) - product);
    if (secondCopy && size >= 512) {
        block[510] = 'D';
        block[511] = 'G';
    }
    return block;
}

void AddPage(ControllerImage& image, unsigned block, unsigned page, std::vector<BYTE> data,
             int control6 = -1, int control7 = -1, int control9 = -1, int control10 = -1) {
    FlashPage p;
    p.block = block;
    p.page = page;
    p.data = std::move(data);
    p.control6 = control6;
    p.control7 = control7;
    p.control9 = control9;
    p.control10 = control10;
    image.flashPages.push_back(std::move(p));
}

// The flash block of the information block as the flash identity record will name it.
unsigned RecordBlock(ControllerImage& image, int code) {
    const std::vector<BYTE>& reply = image.flashInfo;
    if (IsWide(code)) return Le16(reply, 356);
    if (MovesBlockNumbersToDC(code)) return Be16(RamPage(image, 0xDC), 74);
    return Be16(reply, 258);
}

// A map page for the controller's page map where its settings name one the image lacks:
// each page index on the page of the same number.
void EnsureMapPage(ControllerImage& image, int code) {
    if (IsWide(code)) return;
    unsigned page = KeepsSettingsInD8(code) ? At(RamPage(image, 0xD8), 376) : 0xFA;
    if (image.ramPages.count(page)) return;
    std::vector<BYTE>& map = RamPage(image, page);
    bool packed = At(image.sfr, 290) & 0x20;
    if (packed) {
        for (int offset : {360, 368})
            for (int g = 0; g < 16; ++g)
                for (int a = 0; a < 8; ++a) map[offset + 9 * g + 1 + a] = BYTE(8 * g + a);
    } else if (code <= 33) {
        for (size_t i = 0; i < 512; ++i) map[i] = static_cast<BYTE>(i);
    } else {
        std::fill(map.begin() + 4, map.begin() + 512, BYTE(0xFF));
    }
}

// Copy 1 of current models without a code area: at the block the settings name (the
// record's when they name none, or when the flash maker is 0xEC), on page 1.
void PlaceSecondCopy(ControllerImage& image, const ControllerProfile& profile, unsigned block) {
    int code = profile.modelCode;
    std::vector<BYTE>& settings =
        IsWide(code) ? RamAt(image, 0xD8) : RamPage(image, KeepsSettingsInD8(code) ? 0xD8 : 0xF8);
    unsigned named = Be16(settings, 12);
    BYTE maker = At(image.flashInfo, 48);
    // Code 17 always keeps it where its settings say; the others fall back on the record's
    // block, and flash of maker 0xEC always uses that.
    if (code == kOwnBlockModel || (named != 0 && maker != 0xEC)) block = named;
    if (code == kAltBlockModel && At(settings, 94) == maker) block = Be16(image.flashInfo, 272);
    if (IsWide(code)) RamAt(image, kWideSettingsAddress);
    EnsureMapPage(image, code);
    if (block == kNoBlock) return;
    AddPage(image, block, kSecondCopyPage, InfoBlock(profile, kBlockBytes, true));
}

// The code area of SM3259 and SM3271 controllers: one candidate block in RAM page 0xD8,
// the name on the first usable page of the bitmap, copy 1 on the second.
void PlaceSM3259CodeArea(ControllerImage& image, const ControllerProfile& profile) {
    unsigned area = Be16(image.flashInfo, 274);
    if (area == kNoBlock) return;
    std::vector<BYTE>& settings = RamPage(image, 0xD8);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) PutBe16(settings, 141 + 8 * i + 2 * j, kNoBlock);
    PutBe16(settings, 141 + 2 * 3, area);
    size_t bitmap = profile.modelCode >= 54 ? 512 : (settings[305] & 0x04) ? 640 : 576;
    settings[bitmap] = kCodeAreaBitmap;

    std::string name = "SM3271AA_ISP";
    for (const char* known : {"SM3259AA_ISP", "SM3271AB_ISP", "SM3271AD_ISP"})
        if (profile.name.compare(0, 8, known, 8) == 0) name = known;
    std::vector<BYTE> first(1024, 0);
    std::memcpy(first.data() + 3, name.data(), name.size());
    AddPage(image, area, kCodeAreaNamePage, first, 0x00, 0x00, 0x5E, 0x04);
    AddPage(image, area, kCodeAreaCopyPage, InfoBlock(profile, kBlockBytes, true), -1, 0x00, 0x12,
            0x04);
}

// The code area of SM3281 controllers: candidate (0, 0) in the settings RAM with its block
// selector, the bitmap after it.
void PlaceSM3281CodeArea(ControllerImage& image, const ControllerProfile& profile) {
    if (Le16(image.flashInfo, 388) == 0) return;
    std::vector<BYTE>& w = RamAt(image, kWideSettingsAddress);
    w[320] = static_cast<BYTE>(kSM3281CodeAreaBlock & 0xFF);
    w[321] = static_cast<BYTE>(kSM3281CodeAreaBlock >> 8);
    w[322] = kSM3281Selector;
    w[512] = kCodeAreaBitmap;
    std::vector<BYTE> first(1024, 0);
    std::memcpy(first.data(), "SM3280ISP", 9);
    const int control10 = (kSM3281Selector << 4) | 0x04;
    AddPage(image, kSM3281CodeAreaBlock, kCodeAreaNamePage, first, 0x00, 0x34, 0x12, control10);
    AddPage(image, kSM3281CodeAreaBlock, kCodeAreaCopyPage, InfoBlock(profile, kBlockBytes, true),
            -1, 0x34, 0x12, control10);
}

}  // namespace

void PlaceInfoBlock(ControllerImage& image, const ControllerProfile& profile) {
    int code = profile.modelCode;
    if (!IsCurrent(code)) {
        // Early and middle controllers hand the block out by command; the first generation
        // picks it by byte 256 of RAM page 16.
        BYTE selector = 0;
        if (SelectsEarlyBlock(code)) {
            std::vector<BYTE>& page16 = RamPage(image, 16);
            if (page16[256] == 0) page16[256] = kEarlySelector;
            selector = page16[256];
        }
        image.earlyInfoBlocks[selector] =
            InfoBlock(profile, IsMiddle(code) ? kBlockBytes : kEarlyBlockBytes, false);
        return;
    }
    unsigned block = RecordBlock(image, code);
    if (block != kNoBlock)
        AddPage(image, block, kFirstCopyPage, InfoBlock(profile, kBlockBytes, false));
    if (HasSM3259CodeArea(code))
        PlaceSM3259CodeArea(image, profile);
    else if (HasSM3281CodeArea(code))
        PlaceSM3281CodeArea(image, profile);
    else if (code != kSingleBlockModel)
        PlaceSecondCopy(image, profile, block);
}

}  // namespace sim
