// One controller for each row of the model table that the built-in table does not already
// hold, and the further controllers the identification roads need: each answers the way
// the controllers of that model do, so that identification settles on the row's code by
// the road such a controller takes.
#include "controller_profiles.h"

#include "byte_image.h"

#include <cstring>

namespace sim {

namespace {

using F = ControllerFamily;

enum : size_t { kPage = 512, kRamRead = 1536 };

// How identification reaches the model.
enum class Road {
    Named,       // both identification pages name the model
    Revision,    // the current-form page names nothing; the early-form page names `base`,
                 // and RAM page 0 carries the revision name `revision` at `revisionAt`
    MemoryName,  // INQUIRY 00 80 05 02; the model name in memory space 03 (`base` when
                 // set) and the revision byte decide; controller code not yet running
    SmiName,     // INQUIRY 00 80 05 02 with "smi" at 53; the name at space 00 FF E7
                 // (`base`) and the variant byte at space E0 00 00 11 decide
    CheckChain,  // as SmiName with `base` SM3280BB, the current-form page naming nothing,
                 // the early-form page naming 3280BB, and the SM3282BB check registers
    Renamed,     // an SM3271 whose early-form page says 3270: page 0xD8 says 3271
    SM3252D,     // the current-form page names 3252D; RAM page 22 tells the variant
    Fallback,    // the current-form page names a model no row holds (`base`)
};

struct ModelRow {
    const char* name;
    int code;
    F family;
    Road road = Road::Named;
    const char* base = nullptr;
    const char* revision = nullptr;
    int revisionAt = 0;
    int registerByte = 0;  // revision byte (FF FE 11), variant byte (E0 11) or check result
};

const ModelRow kRows[] = {
    {"SM325AC/SM321U", 7, F::Early},
    {"SM3252A", 1, F::Early},
    {"SM3252B", 2, F::Early},
    {"SM321BB", 4, F::Early},
    {"SM3211BC1", 6, F::Early},
    {"SM3211BC", 5, F::Early},
    {"SM334AC", 8, F::Early},
    {"SM3254AC", 11, F::Middle},
    {"SM3254AE", 13, F::Middle},
    {"SM3255AA", 14, F::Middle},
    {"SM3255AB", 17, F::Current},
    {"SM3255AC", 18, F::Current},
    {"SM3255ENAA", 20, F::Current},
    {"SM3257AA", 19, F::Current},
    {"SM3257ENAA", 22, F::Current},
    {"SM3257ENLT", 23, F::Current},
    {"SM3257ENBB", 25, F::Current, Road::Revision, "3257ENLT", "3257ENLTBB", 48},
    {"SM3255ENA1", 21, F::Current, Road::Revision, "3255ENAA", "3255ENA1", 48},
    {"SM3260AB", 27, F::Current},
    {"SM3260AD", 28, F::Current},
    {"SM3261AA", 29, F::Current},
    {"SM3261AB", 30, F::Current, Road::Revision, "3261AA", "3261AB", 79},
    {"SM3263AA", 31, F::Current},
    {"SM3263AB", 32, F::Current},
    {"SM3267AA", 33, F::Current},
    {"SM3267AB", 34, F::Current, Road::MemoryName},
    {"SM3267AC", 35, F::Current},
    {"SM3267AE", 36, F::Current},
    {"SM3269AA", 37, F::Current},
    {"SM3269AB", 38, F::Current},
    {"SM3268AA", 39, F::Current},
    {"SM3268AB", 40, F::Current},
    {"SM3280AA", 41, F::WideAddress},
    {"SM3280AB", 42, F::WideAddress, Road::SmiName, "SM3280AB", nullptr, 0, 0x0F},
    {"SM3280BA", 43, F::WideAddress, Road::SmiName, "SM3280BA", nullptr, 0, 0x0F},
    {"SM3280BB", 44, F::WideAddress, Road::CheckChain, "SM3280BB", nullptr, 0, 0x00},
    {"SM3282BB", 45, F::WideAddress, Road::CheckChain, "SM3280BB", nullptr, 0, 0x01},
    {"SM3281AB", 46, F::WideAddress, Road::SmiName, "SM3280AB", nullptr, 0, 0x2F},
    {"SM3281BA", 47, F::WideAddress, Road::SmiName, "SM3280BA", nullptr, 0, 0x8F},
    {"SM3270AA", 49, F::Current, Road::MemoryName},
    {"SM3270AB", 50, F::Current, Road::MemoryName, nullptr, nullptr, 0, 0x2C},
    {"SM3270AC", 51, F::Current, Road::MemoryName, "SM3270AB", nullptr, 0, 0x3C},
    {"SM3259AA", 52, F::Current},
    {"SM3259AB", 53, F::Current, Road::Revision, "3259AA", "3259AB", 79},
    {"SM3271AA", 54, F::Current, Road::MemoryName},
    {"SM3271AB", 55, F::Current, Road::MemoryName, nullptr, nullptr, 0, 0x2D},
    {"SM3271AC", 56, F::Current, Road::MemoryName, "SM3271AB", nullptr, 0, 0x4D},
    // The roads' own controllers.
    {"SM3271AC named 3270AC", 56, F::Current, Road::Renamed, "SM3271AC"},
    {"SM3271AD named 3270AC", 57, F::Current, Road::Renamed, "SM3271AD"},
    {"SM3252D with 14 76", 5, F::Early, Road::SM3252D, nullptr, nullptr, 0, 0x76},
    {"SM3252D", 6, F::Early, Road::SM3252D, nullptr, nullptr, 0, 0x00},
    {"SM3254AB", 11, F::Middle, Road::Fallback, "3254AB"},
    {"SM325AB", 7, F::Early, Road::Fallback, "325AB"},
};

std::vector<BYTE> Named(const std::string& shortName) {
    return ByteImage(kPage, 0, {TextAt(430, "SM"), TextAt(432, shortName)});
}

std::vector<BYTE> Eight(const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.resize(8, 0);
    return bytes;
}

void SetModelName(ControllerImage& image, const std::string& name) {
    for (MemoryRange& r : image.memory)
        if (r.space == 0x03 && r.address == 0xFF004D) r.bytes = Eight(name);
}

void ClearCodeRunning(ControllerImage& image) {
    for (MemoryRange& r : image.memory)
        if (r.space == 0x01 && r.address == 0xFF0029) r.bytes[0] &= static_cast<BYTE>(~0x08);
}

// INQUIRY data whose first bytes read 00 80 05 02, as the controllers that keep their
// model name in memory answer.
void SmiInquiryLead(ControllerImage& image, bool smiFlag) {
    image.inquiry[2] = 0x05;
    image.inquiry[3] = 0x02;
    if (smiFlag) std::memcpy(image.inquiry.data() + 53, "smi", 3);
}

ControllerProfile FromRow(const ModelRow& row) {
    ControllerProfile p = BasicControllerProfile(row.name, row.code, row.family);
    ControllerImage& image = p.image;
    // The flash, the registers and the settings pages of a controller of the same kind;
    // RAM page 0 stays this model's own.
    ControllerProfile kind = FamilyTemplate(row.code, row.family);
    p.manufacturer = kind.manufacturer;
    p.product = kind.product;
    image.flashInfo = kind.image.flashInfo;
    image.sfr = kind.image.sfr;
    image.ramAtAddress = kind.image.ramAtAddress;
    for (const auto& page : kind.image.ramPages)
        if (page.first != 0) image.ramPages[page.first] = page.second;
    BYTE registerByte = static_cast<BYTE>(row.registerByte);
    switch (row.road) {
        case Road::Named: break;
        case Road::Revision:
            image.identificationCurrent = ByteImage(kPage, 0, {});
            image.identificationEarly = Named(row.base);
            image.ramPages[0] = ByteImage(
                kRamRead, 0,
                {TextAt(430, "SM"), TextAt(432, row.base), TextAt(row.revisionAt, row.revision)});
            break;
        case Road::MemoryName:
            SmiInquiryLead(image, false);
            if (row.base) SetModelName(image, row.base);
            ClearCodeRunning(image);
            image.memory.push_back({0x03, 0xFFFE11, {registerByte, 0x00}, true, false});
            break;
        case Road::SmiName:
        case Road::CheckChain:
            SmiInquiryLead(image, true);
            image.memory.push_back({0x00, 0x00FFE7, Eight(row.base), true, false});
            if (row.road == Road::SmiName) {
                image.memory.push_back({0xE0, 0x000011, {registerByte, 0x00}, true, false});
                break;
            }
            image.identificationCurrent = ByteImage(kPage, 0, {});
            image.identificationEarly = Named("3280BB");
            image.memory.push_back({0xE0, 0x000011, {0x0F, 0x00}, true, false});
            // The check register at 6C and its result at 6D, one register pair.
            image.memory.push_back({0xE0, 0x00006C, {0x05, registerByte, 0x00}, true, true});
            break;
        case Road::Renamed:
            image.identificationCurrent = ByteImage(kPage, 0, {});
            image.identificationEarly = Named("3270AC");
            image.ramPages[0xD8] = ByteImage(kRamRead, 0, {TextAt(2, "3271")});
            SetModelName(image, row.base);
            break;
        case Road::SM3252D:
            image.identificationCurrent = Named("3252D");
            image.ramPages[22] = ByteImage(kRamRead, 0, {BytesAt(496, {0x14, registerByte})});
            break;
        case Road::Fallback:
            image.identificationCurrent = Named(row.base);
            image.identificationEarly = Named(row.base);
            break;
    }
    return p;
}

}  // namespace

std::vector<ControllerProfile> ModelTableProfiles() {
    std::vector<ControllerProfile> all;
    for (const ModelRow& row : kRows) all.push_back(FromRow(row));
    return all;
}

}  // namespace sim
