#include "smi_controller.h"

#include "machine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>

namespace sim {

namespace {

enum : BYTE { kOpInquiry = 0x12, kOpVendorIn = 0xF0, kOpVendorOut = 0xF1 };

// Byte 1 of the vendor blocks.
enum : BYTE {
    kFlashPageRead = 0x01,
    kEarlyInfoBlockRead = 0x02,
    kSfrReadCurrent = 0x03,
    kRamReadCurrent = 0x04,
    kFlashInfoReadCurrent = 0x06,
    kCodeBlockLoad = 0x0A,
    kFlashInfoReadOther = 0x20,
    kSfrReadOther = 0x26,
    kImageLoad = 0x27,
    kRamReadEarly = 0x2A,
    kRamReadMiddle = 0x30,
    kMemoryAccess = 0xF0,
};

enum : DWORD { kSector = 512, kCodeBlockBytes = 512, kImageBytes = 2048 };
enum : BYTE { kPageD8 = 0xD8, kCodeBlockTarget = 0xC8, kMiddleFlashInfoMark = 0x07 };

const struct {
    ControllerForm form;
    const char* name;
} kFormNames[] = {
    {ControllerForm::Inquiry, "inquiry"},
    {ControllerForm::IdentificationPageCurrent, "identificationPageCurrent"},
    {ControllerForm::IdentificationPageEarly, "identificationPageEarly"},
    {ControllerForm::RamReadEarly, "ramReadEarly"},
    {ControllerForm::RamReadMiddle, "ramReadMiddle"},
    {ControllerForm::RamReadCurrent, "ramReadCurrent"},
    {ControllerForm::RamReadWide, "ramReadWide"},
    {ControllerForm::RamPageD8, "ramPageD8"},
    {ControllerForm::SfrReadCurrent, "sfrReadCurrent"},
    {ControllerForm::SfrReadOther, "sfrReadOther"},
    {ControllerForm::FlashInfoCurrent, "flashInfoCurrent"},
    {ControllerForm::FlashInfoOther, "flashInfoOther"},
    {ControllerForm::FlashPageRead, "flashPageRead"},
    {ControllerForm::EarlyInfoBlockRead, "earlyInfoBlockRead"},
    {ControllerForm::MemoryRead, "memoryRead"},
    {ControllerForm::MemoryWrite, "memoryWrite"},
    {ControllerForm::CodeBlockLoad, "codeBlockLoad"},
    {ControllerForm::ImageLoad, "imageLoad"},
};

const char* FamilyName(ControllerFamily f) {
    switch (f) {
        case ControllerFamily::Early: return "early";
        case ControllerFamily::Middle: return "middle";
        case ControllerFamily::Current: return "current";
        case ControllerFamily::WideAddress: return "wide-address";
    }
    return "";
}

std::string Hex(unsigned long long value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, value);
    return text;
}

std::string CdbText(const BYTE* cdb) {
    std::string text;
    char part[4];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", cdb[i]);
        text += part;
    }
    return text;
}

DWORD Be16(const BYTE* p) { return (DWORD(p[0]) << 8) | p[1]; }
DWORD Be24(const BYTE* p) { return (DWORD(p[0]) << 16) | (DWORD(p[1]) << 8) | p[2]; }
DWORD Be32(const BYTE* p) { return (Be24(p) << 8) | p[3]; }

// A command as the controller understood it: which form, what it addresses, the data
// phase it implies, or why it makes no sense to the controller.
struct Decoded {
    ControllerForm form = ControllerForm::Unknown;
    long long at = -1;  // page, address or block the command names
    DataDirection direction = DataDirection::In;
    DWORD length = 0;  // bytes of the data phase the fields imply
    std::string refusal;
};

Decoded Refuse(const std::string& reason) {
    Decoded d;
    d.refusal = reason;
    return d;
}

// The bytes a form does not use must be zero: anything else is not a block the controller
// knows. Bytes 12-15 are checked for every form that does not name them.
std::string StrayBytes(const BYTE* cdb, std::initializer_list<int> used) {
    for (int i = 2; i < 16; ++i) {
        if (std::find(used.begin(), used.end(), i) != used.end()) continue;
        if (cdb[i] != 0) return "byte " + std::to_string(i) + " is " + Hex(cdb[i], 2) + ", not 0";
    }
    return "";
}

Decoded Sectors(ControllerForm form, long long at, const BYTE* cdb, std::string stray) {
    if (!stray.empty()) return Refuse(stray);
    Decoded d;
    d.form = form;
    d.at = at;
    d.length = cdb[11] * kSector;
    if (cdb[11] == 0) d.refusal = "sector count 0";
    return d;
}

// F0 04: the current RAM read. On wide-address controllers bytes 2-5 are a 32-bit address;
// elsewhere byte 2 is the page and only the table's sector counts exist.
Decoded DecodeRamCurrent(const BYTE* cdb, ControllerFamily family) {
    if (family == ControllerFamily::WideAddress) {
        DWORD address = Be32(cdb + 2);
        std::string stray = StrayBytes(cdb, {2, 3, 4, 5, 11});
        if (address == 0 && cdb[11] == 1)
            return Sectors(ControllerForm::IdentificationPageCurrent, 0, cdb, stray);
        if (cdb[11] > 3) return Refuse("RAM read of " + std::to_string(cdb[11]) + " sectors");
        return Sectors(ControllerForm::RamReadWide, address, cdb, stray);
    }
    BYTE page = cdb[2];
    if (cdb[11] == 1 && page == 0)
        return Sectors(ControllerForm::IdentificationPageCurrent, 0, cdb, StrayBytes(cdb, {2, 11}));
    if (page == kPageD8 && cdb[11] == 1)
        return Sectors(ControllerForm::RamPageD8, page, cdb, StrayBytes(cdb, {2, 11}));
    if (page == kPageD8 && cdb[11] == 2) {
        if (cdb[10] != 0x04) return Refuse("two-sector page 0xD8 read without 04 in byte 10");
        return Sectors(ControllerForm::RamPageD8, page, cdb, StrayBytes(cdb, {2, 10, 11}));
    }
    if (cdb[11] != 3)
        return Refuse("current-form RAM read of page " + Hex(page, 2) + " in " +
                      std::to_string(cdb[11]) + " sectors");
    return Sectors(ControllerForm::RamReadCurrent, page, cdb, StrayBytes(cdb, {2, 11}));
}

Decoded DecodeRead(const BYTE* cdb, ControllerFamily family) {
    switch (cdb[1]) {
        case kRamReadCurrent: return DecodeRamCurrent(cdb, family);
        case kRamReadEarly: {
            std::string stray = StrayBytes(cdb, {7, 11});
            if (cdb[11] == 1 && cdb[7] == 0)
                return Sectors(ControllerForm::IdentificationPageEarly, 0, cdb, stray);
            if (cdb[11] != 3)
                return Refuse("early-form RAM read of page " + Hex(cdb[7], 2) + " in " +
                              std::to_string(cdb[11]) + " sectors");
            return Sectors(ControllerForm::RamReadEarly, cdb[7], cdb, stray);
        }
        case kRamReadMiddle:
            if (cdb[2] != cdb[7]) return Refuse("middle-form RAM read names two pages");
            if (cdb[4] != 0x04) return Refuse("middle-form RAM read without 04 in byte 4");
            if (cdb[11] != 2) return Refuse("middle-form RAM read not of two sectors");
            return Sectors(ControllerForm::RamReadMiddle, cdb[2], cdb,
                           StrayBytes(cdb, {2, 4, 7, 11}));
        case kSfrReadCurrent:
        case kSfrReadOther:
        case kFlashInfoReadCurrent: {
            ControllerForm form = cdb[1] == kSfrReadCurrent ? ControllerForm::SfrReadCurrent
                                  : cdb[1] == kSfrReadOther ? ControllerForm::SfrReadOther
                                                            : ControllerForm::FlashInfoCurrent;
            if (cdb[11] != 1) return Refuse("register or flash information read not of one sector");
            return Sectors(form, -1, cdb, StrayBytes(cdb, {11}));
        }
        case kFlashInfoReadOther: {
            if (cdb[11] != 1) return Refuse("flash information read not of one sector");
            // Middle controllers take the read only with their mark in byte 12; early ones
            // know no byte 12.
            BYTE expected = family == ControllerFamily::Middle ? kMiddleFlashInfoMark : 0;
            if (cdb[12] != expected)
                return Refuse("flash information read with " + Hex(cdb[12], 2) + " in byte 12 on " +
                              FamilyName(family) + " controller");
            return Sectors(ControllerForm::FlashInfoOther, -1, cdb, StrayBytes(cdb, {11, 12}));
        }
        case kFlashPageRead:
            return Sectors(ControllerForm::FlashPageRead, Be16(cdb + 2), cdb,
                           StrayBytes(cdb, {2, 3, 4, 5, 6, 7, 9, 10, 11}));
        case kEarlyInfoBlockRead:
            return Sectors(ControllerForm::EarlyInfoBlockRead, cdb[2], cdb,
                           StrayBytes(cdb, {2, 11}));
        default: return Refuse("read operation " + Hex(cdb[1], 2) + " not understood");
    }
}

Decoded DecodeMemory(const BYTE* cdb, bool write) {
    std::string stray = StrayBytes(cdb, {2, 3, 4, 5, 6, 7});
    if (!stray.empty()) return Refuse(stray);
    Decoded d;
    d.form = write ? ControllerForm::MemoryWrite : ControllerForm::MemoryRead;
    d.at = Be24(cdb + 3);
    d.direction = write ? DataDirection::Out : DataDirection::In;
    d.length = Be16(cdb + 6);
    if (d.length == 0) d.refusal = "memory access of 0 bytes";
    return d;
}

Decoded DecodeWrite(const BYTE* cdb) {
    static const BYTE kImageLoadBlock[16] = {0xF1, 0x27, 0x08, 0xF2, 0xD0, 0x00, 0x04, 0x00,
                                             0x00, 0x00, 0x10, 0x04, 0x00, 0x00, 0x07, 0x00};
    Decoded d;
    d.direction = DataDirection::Out;
    switch (cdb[1]) {
        case kMemoryAccess: return DecodeMemory(cdb, true);
        case kCodeBlockLoad:
            if (cdb[2] != kCodeBlockTarget || cdb[11] != 1)
                return Refuse("code block load not to C8 in one sector");
            if (std::string stray = StrayBytes(cdb, {2, 11}); !stray.empty()) return Refuse(stray);
            d.form = ControllerForm::CodeBlockLoad;
            d.length = kCodeBlockBytes;
            return d;
        case kImageLoad:
            if (std::memcmp(cdb, kImageLoadBlock, 16) != 0)
                return Refuse("image load with other fields than the controller takes");
            d.form = ControllerForm::ImageLoad;
            d.length = kImageBytes;
            return d;
        default: return Refuse("write operation " + Hex(cdb[1], 2) + " not understood");
    }
}

bool FamilyAnswers(ControllerFamily family, ControllerForm form) {
    using F = ControllerForm;
    using C = ControllerFamily;
    bool early = family == C::Early, middle = family == C::Middle;
    bool current = family == C::Current, wide = family == C::WideAddress;
    switch (form) {
        // Identification sends these to every device; only their content differs.
        case F::Inquiry:
        case F::IdentificationPageCurrent:
        case F::IdentificationPageEarly:
        case F::MemoryRead:
        case F::MemoryWrite: return true;
        case F::RamReadEarly: return early;
        case F::RamReadMiddle: return middle;
        case F::RamReadCurrent:
        case F::RamPageD8: return current;
        case F::RamReadWide: return wide;
        case F::SfrReadCurrent:
        case F::FlashInfoCurrent:
        case F::FlashPageRead: return current || wide;
        case F::SfrReadOther:
        case F::FlashInfoOther:
        case F::EarlyInfoBlockRead: return early || middle;
        case F::CodeBlockLoad: return current;
        case F::ImageLoad: return early;
        case F::Unknown: return false;
    }
    return false;
}

// Sets bit 3 of the state register (space 01, FF 00 29): the loaded code runs.
void MarkCodeRunning(ControllerImage& image) {
    const DWORD kStateRegister = 0xFF0029;
    for (MemoryRange& r : image.memory)
        if (r.space == 0x01 && kStateRegister >= r.address &&
            kStateRegister - r.address < r.bytes.size())
            r.bytes[kStateRegister - r.address] |= 0x08;
}

const std::vector<BYTE>* FindPage(const std::map<unsigned, std::vector<BYTE>>& pages,
                                  unsigned page) {
    auto it = pages.find(page);
    return it == pages.end() ? nullptr : &it->second;
}

}  // namespace

const char* FormName(ControllerForm form) {
    for (const auto& entry : kFormNames)
        if (entry.form == form) return entry.name;
    return "";
}

bool FormByName(const std::string& name, ControllerForm* form) {
    for (const auto& entry : kFormNames)
        if (name == entry.name) {
            *form = entry.form;
            return true;
        }
    return false;
}

SmiController::SmiController(ControllerProfile p) : profile(std::move(p)) {}

namespace {

// What the image answers to a data-in command; null with `why` set when it holds nothing.
const std::vector<BYTE>* Reply(const ControllerImage& image, const Decoded& d, const BYTE* cdb,
                               std::vector<BYTE>* scratch, std::string* why) {
    switch (d.form) {
        case ControllerForm::Inquiry:
            if (image.inquiry.empty()) *why = "the image holds no INQUIRY data";
            return image.inquiry.empty() ? nullptr : &image.inquiry;
        case ControllerForm::IdentificationPageCurrent:
        case ControllerForm::IdentificationPageEarly: {
            const std::vector<BYTE>& own = d.form == ControllerForm::IdentificationPageCurrent
                                               ? image.identificationCurrent
                                               : image.identificationEarly;
            if (!own.empty()) return &own;
            if (const std::vector<BYTE>* page = FindPage(image.ramPages, 0)) return page;
            *why = "the image holds no identification page";
            return nullptr;
        }
        case ControllerForm::RamReadEarly:
        case ControllerForm::RamReadMiddle:
        case ControllerForm::RamReadCurrent:
        case ControllerForm::RamPageD8:
            if (const std::vector<BYTE>* page = FindPage(image.ramPages, unsigned(d.at)))
                return page;
            *why = "the image holds no RAM page " + Hex(d.at, 2);
            return nullptr;
        case ControllerForm::RamReadWide: {
            auto it = image.ramAtAddress.find(DWORD(d.at));
            if (it != image.ramAtAddress.end()) return &it->second;
            *why = "the image holds no RAM at " + Hex(d.at, 8);
            return nullptr;
        }
        case ControllerForm::SfrReadCurrent:
        case ControllerForm::SfrReadOther:
            if (image.sfr.empty()) *why = "the image holds no SFR page";
            return image.sfr.empty() ? nullptr : &image.sfr;
        case ControllerForm::FlashInfoCurrent:
        case ControllerForm::FlashInfoOther:
            if (image.flashInfo.empty()) *why = "the image holds no flash information reply";
            return image.flashInfo.empty() ? nullptr : &image.flashInfo;
        case ControllerForm::EarlyInfoBlockRead:
            if (const std::vector<BYTE>* block = FindPage(image.earlyInfoBlocks, unsigned(d.at)))
                return block;
            *why = "the image holds no information block for selector " + Hex(d.at, 2);
            return nullptr;
        case ControllerForm::FlashPageRead: {
            unsigned block = unsigned(d.at), page = Be16(cdb + 4);
            bool blockKnown = false;
            for (const FlashPage& p : image.flashPages) {
                if (p.block != block) continue;
                blockKnown = true;
                if (p.page != page) continue;
                const int expected[4] = {p.control6, p.control7, p.control9, p.control10};
                const int at[4] = {6, 7, 9, 10};
                for (int k = 0; k < 4; ++k)
                    if (expected[k] >= 0 && cdb[at[k]] != expected[k]) {
                        *why = "flash block " + Hex(block, 4) + " page " + Hex(page, 4) +
                               " expects " + Hex(unsigned(expected[k]), 2) + " in byte " +
                               std::to_string(at[k]);
                        return nullptr;
                    }
                return &p.data;
            }
            if (!blockKnown) {
                *why = "the image holds no flash block " + Hex(block, 4);
                return nullptr;
            }
            scratch->assign(d.length, 0xFF);  // an unwritten page of a known block reads erased
            return scratch;
        }
        case ControllerForm::MemoryRead:
            for (const MemoryRange& r : image.memory)
                if (r.space == cdb[2] && r.readable && DWORD(d.at) >= r.address &&
                    DWORD(d.at) - r.address + d.length <= r.bytes.size()) {
                    scratch->assign(r.bytes.begin() + (DWORD(d.at) - r.address),
                                    r.bytes.begin() + (DWORD(d.at) - r.address + d.length));
                    return scratch;
                }
            *why = "no readable memory of space " + Hex(cdb[2], 2) + " at " + Hex(d.at, 6) +
                   " for " + std::to_string(d.length) + " bytes";
            return nullptr;
        default: *why = "not a read"; return nullptr;
    }
}

}  // namespace

bool SmiController::Execute(const ScsiCommand& command, BYTE* data, DWORD length,
                            DWORD* transferred) {
    *transferred = 0;
    const BYTE* cdb = command.cdb;
    ControllerFamily family = profile.family;

    Decoded d;
    if (cdb[0] == kOpInquiry) {
        d.form = ControllerForm::Inquiry;
        d.length = cdb[4];
    } else if (cdb[0] == kOpVendorIn) {
        d = cdb[1] == kMemoryAccess ? DecodeMemory(cdb, false) : DecodeRead(cdb, family);
    } else if (cdb[0] == kOpVendorOut) {
        d = DecodeWrite(cdb);
    } else {
        d = Refuse("opcode " + Hex(cdb[0], 2) + " not understood");
    }

    auto refuse = [&](const std::string& reason) {
        refused.push_back({profile.name, command, reason});
        machine().journal.Note("refused " + profile.name + " cdb " + CdbText(cdb) + ": " + reason);
        return false;
    };
    if (!d.refusal.empty()) return refuse(d.refusal);
    if (!FamilyAnswers(family, d.form))
        return refuse(std::string(FamilyName(family)) + " controller " + profile.name +
                      " does not answer " + FormName(d.form));
    if (command.direction != d.direction)
        return refuse(std::string(FormName(d.form)) + " sent with the wrong data direction");
    // INQUIRY moves up to its allocation length; every vendor form moves exactly what its
    // fields say.
    if (d.form != ControllerForm::Inquiry && command.transferLength != d.length)
        return refuse(std::string(FormName(d.form)) + " moves " + std::to_string(d.length) +
                      " bytes, the transfer asks for " + std::to_string(command.transferLength));

    for (ControllerFault& f : faults) {
        if (f.form != d.form || (f.at >= 0 && f.at != d.at)) continue;
        ++f.seen;
        if (f.times == 0 || f.seen <= f.times) return false;
    }

    if (d.direction == DataDirection::Out) {
        std::vector<BYTE> sent;
        if (data != nullptr) sent.assign(data, data + std::min(length, d.length));
        sent.resize(d.length, 0);
        if (d.form == ControllerForm::CodeBlockLoad) {
            codeBlocks.push_back(sent);
            // The second block of a pair starts the loaded code, and the controller says so
            // in bit 3 of its state register.
            if (codeBlocks.size() % 2 == 0) MarkCodeRunning(profile.image);
        } else if (d.form == ControllerForm::ImageLoad) {
            imageLoads.push_back(sent);
        } else {
            DWORD address = DWORD(d.at);
            MemoryRange* target = nullptr;
            for (MemoryRange& r : profile.image.memory)
                if (r.space == cdb[2] && r.writable && address >= r.address &&
                    address - r.address + d.length <= r.bytes.size()) {
                    target = &r;
                    break;
                }
            if (target == nullptr)
                return refuse("no writable memory of space " + Hex(cdb[2], 2) + " at " +
                              Hex(address, 6) + " for " + std::to_string(d.length) + " bytes");
            std::copy(sent.begin(), sent.end(),
                      target->bytes.begin() + (address - target->address));
            memoryWrites.push_back({cdb[2], address, sent});
        }
        return true;
    }

    std::vector<BYTE> scratch;
    std::string why;
    const std::vector<BYTE>* reply = Reply(profile.image, d, cdb, &scratch, &why);
    if (reply == nullptr) return refuse(why);
    DWORD n = std::min(length, d.length);
    // The whole data phase is defined: what the image holds, then zeros.
    if (n) std::memset(data, 0, n);
    DWORD copied = std::min<DWORD>(n, static_cast<DWORD>(reply->size()));
    if (copied) std::memcpy(data, reply->data(), copied);
    *transferred = d.form == ControllerForm::Inquiry ? copied : n;
    return true;
}

std::shared_ptr<SmiController> MakeController(const ControllerProfile& profile) {
    ControllerProfile placed = profile;
    PlaceInfoBlock(placed.image, placed);
    return std::make_shared<SmiController>(std::move(placed));
}

std::vector<RefusedCommand> RefusedCommands() {
    std::vector<RefusedCommand> all;
    std::set<const SmiController*> seen;
    auto collect = [&](const std::shared_ptr<ScsiTarget>& target) {
        auto* c = dynamic_cast<const SmiController*>(target.get());
        if (c == nullptr || !seen.insert(c).second) return;
        all.insert(all.end(), c->refused.begin(), c->refused.end());
    };
    for (const auto& entry : machine().volumes) collect(entry.second.target);
    for (const HostAdapter& adapter : machine().aspi.adapters) collect(adapter.target);
    return all;
}

}  // namespace sim
