#include "sdk/controller/vendor_cdb.h"

#include "sdk/controller/model_codes.h"

namespace {

// Byte 1 of the vendor blocks: which operation.
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

enum : BYTE { kPageD8 = 0xD8, kCodeBlockTarget = 0xC8 };

// A zeroed block with its operation and sector count (byte 11).
VendorCdb Make(BYTE opcode, BYTE operation, VendorDirection direction, BYTE sectors) {
    VendorCdb c;
    ClearCdb(c.cdb);
    c.cdb[0] = opcode;
    c.cdb[1] = operation;
    c.cdb[11] = sectors;
    c.direction = direction;
    c.length = static_cast<DWORD>(sectors) * kSectorSize;
    return c;
}

VendorCdb In(BYTE operation, BYTE sectors) {
    return Make(kOpVendorIn, operation, kVendorDataIn, sectors);
}

VendorCdb Memory(BYTE opcode, VendorDirection direction, BYTE space, unsigned long address,
                 unsigned length) {
    VendorCdb c = Make(opcode, kMemoryAccess, direction, 0);
    c.cdb[2] = space;
    PutBe24(c.cdb + 3, address);
    PutBe16(c.cdb + 6, length);
    c.length = length & 0xFFFF;
    return c;
}

}  // namespace

VendorCdb RamReadCdb(int modelCode, unsigned long pageOrAddress) {
    BYTE page = static_cast<BYTE>(pageOrAddress);
    if (IsCurrentModel(modelCode)) {
        VendorCdb c = In(kRamReadCurrent, 3);
        if (IsWideAddressModel(modelCode))
            PutBe32(c.cdb + 2, pageOrAddress);
        else
            c.cdb[2] = page;
        return c;
    }
    if (IsMiddleModel(modelCode)) {
        // The middle form carries the page twice.
        VendorCdb c = In(kRamReadMiddle, 2);
        c.cdb[2] = page;
        c.cdb[4] = 0x04;
        c.cdb[7] = page;
        return c;
    }
    VendorCdb c = In(kRamReadEarly, 3);
    c.cdb[7] = page;
    return c;
}

VendorCdb IdentificationPageCdb(bool earlyForm) {
    return In(earlyForm ? kRamReadEarly : kRamReadCurrent, 1);
}

VendorCdb RamPageD8Cdb(int sectors) {
    VendorCdb c = In(kRamReadCurrent, sectors == 2 ? 2 : 1);
    c.cdb[2] = kPageD8;
    if (sectors == 2) c.cdb[10] = 0x04;
    return c;
}

VendorCdb SfrReadCdb(int modelCode) {
    return In(IsCurrentModel(modelCode) ? kSfrReadCurrent : kSfrReadOther, 1);
}

VendorCdb FlashInfoCdb(int modelCode) {
    if (IsCurrentModel(modelCode)) return In(kFlashInfoReadCurrent, 1);
    VendorCdb c = In(kFlashInfoReadOther, 1);
    if (IsMiddleModel(modelCode)) c.cdb[12] = 0x07;
    return c;
}

VendorCdb FlashPageReadCdb(unsigned block, unsigned page, BYTE control6, BYTE control7,
                           BYTE control9, BYTE control10, BYTE sectors) {
    VendorCdb c = In(kFlashPageRead, sectors);
    PutBe16(c.cdb + 2, block);
    PutBe16(c.cdb + 4, page);
    c.cdb[6] = control6;
    c.cdb[7] = control7;
    c.cdb[9] = control9;
    c.cdb[10] = control10;
    return c;
}

VendorCdb EarlyInfoBlockReadCdb(BYTE selector, BYTE sectors) {
    VendorCdb c = In(kEarlyInfoBlockRead, sectors);
    c.cdb[2] = selector;
    return c;
}

VendorCdb MemoryReadCdb(BYTE space, unsigned long address, unsigned length) {
    return Memory(kOpVendorIn, kVendorDataIn, space, address, length);
}

VendorCdb MemoryWriteCdb(BYTE space, unsigned long address, unsigned length) {
    return Memory(kOpVendorOut, kVendorDataOut, space, address, length);
}

VendorCdb CodeBlockLoadCdb() {
    VendorCdb c = Make(kOpVendorOut, kCodeBlockLoad, kVendorDataOut, 1);
    c.cdb[2] = kCodeBlockTarget;
    return c;
}

VendorCdb ImageLoadCdb() {
    static const BYTE kImageLoadBlock[kCdbSize] = {0xF1, 0x27, 0x08, 0xF2, 0xD0, 0x00, 0x04, 0x00,
                                                   0x00, 0x00, 0x10, 0x04, 0x00, 0x00, 0x07, 0x00};
    VendorCdb c = Make(kOpVendorOut, kImageLoad, kVendorDataOut, 4);
    for (int i = 0; i < kCdbSize; ++i) c.cdb[i] = kImageLoadBlock[i];
    return c;
}
