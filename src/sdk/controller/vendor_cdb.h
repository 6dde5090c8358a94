// The command blocks of the SMI controllers' vendor command set. Each form is built by one
// pure function from its fields: the 16 bytes, the data direction and the transfer length.
// The routines that send them only choose the form, send and copy.
#pragma once

#include "platform/win32.h"
#include "sdk/transport/scsi_commands.h"

enum { kSectorSize = 512 };

enum VendorDirection { kVendorDataIn, kVendorDataOut };

struct VendorCdb {
    BYTE cdb[kCdbSize];
    VendorDirection direction;
    DWORD length;  // bytes of the data phase
};

// RAM read by page (early, middle and current forms) or, on wide-address models, by 32-bit
// address: three sectors (1536 bytes), two on middle models (1024 bytes).
VendorCdb RamReadCdb(int modelCode, unsigned long pageOrAddress);
// One-sector read of RAM page 0, the identification page: current form F0 04 or early
// form F0 2A.
VendorCdb IdentificationPageCdb(bool earlyForm);
// RAM page 0xD8 in one sector, or in two sectors (1024 bytes).
VendorCdb RamPageD8Cdb(int sectors);
// Special function register page: one sector.
VendorCdb SfrReadCdb(int modelCode);
// Flash information reply: one sector.
VendorCdb FlashInfoCdb(int modelCode);
// Raw flash pages from `block`, starting at `page`, with the caller's control bytes for
// command bytes 6, 7, 9 and 10; `sectors` sectors.
VendorCdb FlashPageReadCdb(unsigned block, unsigned page, BYTE control6, BYTE control7,
                           BYTE control9, BYTE control10, BYTE sectors);
// The information block as early controllers hand it out: `selector` picks the copy.
VendorCdb EarlyInfoBlockReadCdb(BYTE selector, BYTE sectors);
// Memory and register spaces: `length` bytes at a 24-bit address of `space`.
VendorCdb MemoryReadCdb(BYTE space, unsigned long address, unsigned length);
VendorCdb MemoryWriteCdb(BYTE space, unsigned long address, unsigned length);
// One 512-byte block of controller code.
VendorCdb CodeBlockLoadCdb();
// The 2048-byte code image of SM3252D controllers.
VendorCdb ImageLoadCdb();
