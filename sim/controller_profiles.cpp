#include "controller_profiles.h"

#include "byte_image.h"

namespace sim {

namespace {

enum : size_t { kPage = 512, kRamRead = 1536 };
enum : DWORD { kWideSettingsAddress = 0xC0001800UL };

// A patch written as hex bytes, "01 23".
BytePatch X(size_t at, const char* hex) {
    std::vector<BYTE> bytes;
    ParseHexBytes(hex, &bytes);
    return BytesAt(at, bytes);
}

struct PageRow {
    unsigned page;
    std::vector<BytePatch> patches;  // over a zeroed 1536-byte page
};

struct AddressRow {
    DWORD address;
    std::vector<BytePatch> patches;  // over 1536 zeroed bytes
};

// One built-in controller: what sets it apart from BasicControllerProfile().
struct ProfileRow {
    const char* name;
    int modelCode;
    ControllerFamily family;
    const char* manufacturer;
    const char* product;
    std::vector<BytePatch> inquiry;    // over the basic INQUIRY data
    std::vector<BytePatch> flashInfo;  // over a zeroed 512-byte reply
    std::vector<BytePatch> sfr;        // over a zeroed 512-byte page
    std::vector<PageRow> ramPages;
    std::vector<AddressRow> ramAtAddress;
};

// Each flash information reply names its flash chips in the identification entries (from
// byte 32 in 8-byte entries on early controllers, from byte 48 in 16-byte entries on the
// others), the flash block of the information block at 258-259 and, where the completion
// moves or rebuilds them, the bytes it takes. The SFR pages and RAM pages hold what the
// completion copies into the record.
const ProfileRow kBuiltInProfiles[] = {
    {"SM3252C",
     3,
     ControllerFamily::Early,
     "Generic",
     "USB Flash Disk",
     {},
     {X(9, "01"), X(32, "EC 75 A5 BD"), X(40, "EC 75 A5 BD"), X(48, "EC 75 A5 BD"),
      // An empty entry with a stray byte: the completion clears it.
      X(58, "5A")},
     {X(0, "52 53"), X(289, "11")},
     {},
     {}},
    {"SM3254AD",
     12,
     ControllerFamily::Middle,
     "Generic",
     "USB Flash Drive",
     {},
     {X(9, "01"), X(48, "98 75 A5 BD 00 00 00 00 01"), X(64, "98 75 A5 BD 00 00 00 00 01"),
      X(82, "11"), X(258, "00 20")},
     {X(0, "54 53"), X(289, "22")},
     // Page 5 fills its three sectors: a middle-form read moves only the first two.
     {{5, {X(0, "05 05 05 05"), X(1023, "AA"), X(1024, "5A 5A 5A 5A")}}},
     {}},
    {"SM3257ENBA",
     24,
     ControllerFamily::Current,
     "ZUDUZA",
     "Flash Drive",
     {},
     {X(9, "01"), X(48, "AD D7 94 9A 74 42"), X(64, "AD D7 94 9A 74 42"), X(258, "00 40"),
      X(272, "00 41")},
     {X(128, "0F 07 01 02 00 01 00 00 04 08 02 80 10"), X(289, "40 20 01 20"), X(302, "03")},
     {{0xF8, {X(0, "F8 00 01")}}},
     {}},
    {"SM3260AA",
     26,
     ControllerFamily::Current,
     "ZUDUZA",
     "Flash Drive",
     {},
     {X(9, "01"), X(48, "EC D7 14 76 54 C2"), X(64, "EC D7 14 76 54 C2"),
      // Where this controller's reply keeps its old block numbers; the completion moves
      // them to 464 and takes the block numbers from RAM page 0xDC.
      X(256, "00 00 0F FF")},
     {X(128, "1F 07 01 02 00 02 00 00 04 08 02 80 10"), X(289, "00 00 01 10"), X(302, "04")},
     {{0xD8, {X(376, "E0")}}, {0xDC, {X(72, "00 00 01 23 01 24")}}},
     {}},
    {"SM3271AD",
     57,
     ControllerFamily::Current,
     "ZUDUZA",
     "Flash Drive",
     // Bytes 0-3 00 80 05 02: identification reads the model name from memory.
     {X(2, "05 02")},
     {X(9, "03"), X(48, "45 DE 94 93 76 57"), X(64, "45 DE 94 93 76 57"), X(258, "02 00"),
      X(274, "03 10")},
     {X(128, "2F 07 01 02 00 04 00 00 04 08 02 80 10"), X(289, "40 20 01 30"), X(302, "05")},
     {{0xD8, {X(0, "D8")}}, {0xDC, {X(0, "DC")}}},
     {}},
    {"SM3281BB",
     48,
     ControllerFamily::WideAddress,
     "Generic",
     "USB 3.0 Flash Drive",
     {},
     // The block numbers little-endian at 352-357, the block selector at 358, the code-area
     // count at 388-389 and the geometry at 416-419.
     {X(0, "2C"), X(3, "01"), X(48, "2C 84 64 3C A9"), X(64, "2C 84 64 3C A9"), X(352, "00 80"),
      X(354, "05"), X(356, "34 12 02"), X(388, "01 00"), X(416, "00 00 10 00")},
     {X(0, "81 BB"), X(289, "33")},
     {},
     // Settings RAM: bit 9 of the word at 16 (page addressing with 0x30), byte 32.
     {{kWideSettingsAddress, {X(16, "00 02 00 00"), X(32, "40")}}}},
};

ControllerProfile FromRow(const ProfileRow& row) {
    ControllerProfile p = BasicControllerProfile(row.name, row.modelCode, row.family);
    p.manufacturer = row.manufacturer;
    p.product = row.product;
    ApplyPatches(&p.image.inquiry, row.inquiry);
    p.image.flashInfo = ByteImage(kPage, 0, row.flashInfo);
    if (!row.sfr.empty()) p.image.sfr = ByteImage(kPage, 0, row.sfr);
    for (const PageRow& page : row.ramPages)
        p.image.ramPages[page.page] = ByteImage(kRamRead, 0, page.patches);
    for (const AddressRow& ram : row.ramAtAddress)
        p.image.ramAtAddress[ram.address] = ByteImage(kRamRead, 0, ram.patches);
    return p;
}

}  // namespace

ControllerProfile BasicControllerProfile(const std::string& name, int modelCode,
                                         ControllerFamily family) {
    ControllerProfile p;
    p.name = name;
    p.modelCode = modelCode;
    p.family = family;
    p.manufacturer = "Generic";
    p.product = "USB Flash Disk";
    ControllerImage& image = p.image;
    image.inquiry =
        InquiryData("SMI", "USB DISK", "1100", std::vector<BYTE>(20, 0), 0, true, "SMI");
    std::string shortName = name.compare(0, 2, "SM") == 0 ? name.substr(2) : name;
    std::vector<BytePatch> named = {TextAt(430, "SM"), TextAt(432, shortName)};
    image.identificationEarly = ByteImage(kPage, 0, named);
    // An early controller answers the current-form read, but names nothing in it.
    image.identificationCurrent =
        family == ControllerFamily::Early ? ByteImage(kPage, 0, {}) : image.identificationEarly;
    image.ramPages[0] = ByteImage(kRamRead, 0, named);
    std::vector<BYTE> modelName(name.begin(), name.end());
    modelName.resize(8, 0);
    image.memory.push_back({0x03, 0xFF004D, modelName, true, false});
    image.memory.push_back({0x01, 0xFF0029, {0x08, 0x00}, true, false});
    return p;
}

ControllerProfile FamilyTemplate(int modelCode, ControllerFamily family) {
    const char* name = "SM3257ENBA";  // settings in RAM page 0xF8: codes 16-25 and 58
    switch (family) {
        case ControllerFamily::Early: name = "SM3252C"; break;
        case ControllerFamily::Middle: name = "SM3254AD"; break;
        case ControllerFamily::WideAddress: name = "SM3281BB"; break;
        case ControllerFamily::Current:
            // Settings in RAM pages 0xD8 and 0xDC from code 26 on; SM3259 and SM3271
            // (52-57) also keep a code area in flash.
            if (modelCode >= 52 && modelCode <= 57)
                name = "SM3271AD";
            else if (modelCode >= 26 && modelCode <= 57)
                name = "SM3260AA";
            break;
    }
    for (const ProfileRow& row : kBuiltInProfiles)
        if (std::string(row.name) == name) return FromRow(row);
    return BasicControllerProfile(name, modelCode, family);
}

std::vector<ControllerProfile> BuiltInControllerProfiles() {
    std::vector<ControllerProfile> all;
    for (const ProfileRow& row : kBuiltInProfiles) all.push_back(FromRow(row));
    std::vector<ControllerProfile> models = ModelTableProfiles();
    all.insert(all.end(), models.begin(), models.end());
    return all;
}

bool FindControllerProfile(const std::string& name, ControllerProfile* out) {
    for (ControllerProfile& p : BuiltInControllerProfiles())
        if (p.name == name) {
            *out = p;
            return true;
        }
    return false;
}

}  // namespace sim
