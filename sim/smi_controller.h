// An SMI flash controller behind a volume or an ASPI host adapter. It holds a controller
// image and answers INQUIRY and the vendor command set (opcodes F0 for data in, F1 for data
// out) by decoding the command's fields, as a controller does: the operation in byte 1,
// then the page, address, space, block and length fields of that operation. Only what its
// family understands and what its image holds is answered; anything else fails the
// transfer and is kept as refused, with the reason, so that a test can assert that a road
// sent nothing a real controller would reject.
#pragma once

#include "scsi_target.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The command-form families of the controllers. Early controllers read RAM with F0 2A and
// their SFR and flash information with F0 26 and F0 20; middle ones read RAM with F0 30 and
// mark their flash information read with 07 in byte 12; current ones use F0 04, F0 03 and
// F0 06; wide-address ones address RAM with a full 32-bit address in F0 04.
enum class ControllerFamily { Early, Middle, Current, WideAddress };

// A range of one memory or register space (F0 F0 reads, F1 F0 writes).
struct MemoryRange {
    BYTE space = 0;
    DWORD address = 0;  // 24-bit
    std::vector<BYTE> bytes;
    bool readable = true;
    bool writable = false;
};

// One flash page: its data (a page read may carry several sectors) and the control bytes
// (command bytes 6, 7, 9 and 10) the controller expects for it; -1 accepts any value.
struct FlashPage {
    unsigned block = 0, page = 0;
    std::vector<BYTE> data;
    int control6 = -1, control7 = -1, control9 = -1, control10 = -1;
};

struct ControllerImage {
    std::vector<BYTE> inquiry;  // standard INQUIRY data, 56 bytes (36 plus bytes 36-55)
    // RAM page 0 as the one-sector identification reads return it, per read form: the
    // current form F0 04 and the early form F0 2A. Empty: the form answers from RAM page 0.
    std::vector<BYTE> identificationCurrent, identificationEarly;
    std::map<unsigned, std::vector<BYTE>> ramPages;         // RAM by page number
    std::map<DWORD, std::vector<BYTE>> ramAtAddress;        // RAM by 32-bit address (wide-address)
    std::vector<BYTE> sfr;                                  // the SFR page
    std::vector<BYTE> flashInfo;                            // the flash information reply
    std::map<unsigned, std::vector<BYTE>> earlyInfoBlocks;  // F0 02 replies by selector
    std::vector<MemoryRange> memory;
    // Flash pages. A page of a block the image holds but not the page itself reads erased
    // (all FF); a block the image does not hold at all is refused.
    std::vector<FlashPage> flashPages;
};

// A coherent controller: its name, the model code identification should settle on, its
// family and its image. `manufacturer` and `product` are the USB strings its information
// block carries (PlaceInfoBlock writes them into the image).
struct ControllerProfile {
    std::string name;  // "SM3271AD"
    int modelCode = 0;
    ControllerFamily family = ControllerFamily::Current;
    std::string manufacturer, product;
    ControllerImage image;
};

// Writes the profile's information block (with its manufacturer and product strings)
// where the profile's controller keeps it. Defined beside the information block road.
void PlaceInfoBlock(ControllerImage& image, const ControllerProfile& profile);

// The kinds of command the emulator tells apart, for fault injection and the report.
enum class ControllerForm {
    Inquiry,
    IdentificationPageCurrent,  // F0 04, page 0, one sector
    IdentificationPageEarly,    // F0 2A, page 0, one sector
    RamReadEarly,               // F0 2A, page in byte 7
    RamReadMiddle,              // F0 30, page in bytes 2 and 7
    RamReadCurrent,             // F0 04, page in byte 2, three sectors
    RamReadWide,                // F0 04, 32-bit address in bytes 2-5
    RamPageD8,                  // F0 04 D8, one sector, or two with 04 in byte 10
    SfrReadCurrent,             // F0 03
    SfrReadOther,               // F0 26
    FlashInfoCurrent,           // F0 06
    FlashInfoOther,             // F0 20
    FlashPageRead,              // F0 01
    EarlyInfoBlockRead,         // F0 02
    MemoryRead,                 // F0 F0
    MemoryWrite,                // F1 F0
    CodeBlockLoad,              // F1 0A C8
    ImageLoad,                  // F1 27
    Unknown,
};

// "ramReadCurrent" and so on; "" for Unknown.
const char* FormName(ControllerForm form);
// False when `name` names no form.
bool FormByName(const std::string& name, ControllerForm* form);

// A command form made to fail: every time (times 0) or its first `times` times. `at`
// narrows it to one RAM page, RAM address, memory address or flash block (-1: any).
struct ControllerFault {
    ControllerForm form = ControllerForm::Unknown;
    int times = 0;
    long long at = -1;
    int seen = 0;  // matching commands so far
};

struct RefusedCommand {
    std::string controller;  // the profile's name
    ScsiCommand command;
    std::string reason;
};

struct MemoryWrite {
    BYTE space;
    DWORD address;
    std::vector<BYTE> bytes;
};

class SmiController : public ScsiTarget {
public:
    explicit SmiController(ControllerProfile profile);

    ControllerProfile profile;  // the image answers; tests may change it between commands
    std::vector<ControllerFault> faults;

    // What the controller refused, and the sinks of what was sent to it.
    std::vector<RefusedCommand> refused;
    std::vector<MemoryWrite> memoryWrites;
    std::vector<std::vector<BYTE>> codeBlocks;  // F1 0A C8 loads, 512 bytes each
    std::vector<std::vector<BYTE>> imageLoads;  // F1 27 loads, 2048 bytes each

    bool Execute(const ScsiCommand& command, BYTE* data, DWORD length, DWORD* transferred) override;
    std::string Name() const override { return profile.name; }
};

// A controller answering from `profile`'s image with its information block placed.
std::shared_ptr<SmiController> MakeController(const ControllerProfile& profile);

// The commands refused by every controller behind the machine's volumes and host adapters.
std::vector<RefusedCommand> RefusedCommands();

}  // namespace sim
