// Command blocks: named operation codes, big-endian field helpers and the builders of the
// standard commands. A command descriptor block is always 16 bytes, zero past the
// command's own length; every builder clears all 16 before it sets its fields.
#pragma once

#include "platform/win32.h"

#include <cstring>

enum { kCdbSize = 16 };

// Declared lengths of the command blocks: INQUIRY's own, and what each transport declares
// for the vendor commands it carries (all 16 bytes are sent either way).
enum { kInquiryCdbLength = 6, kAspiCdbLength = 12, kPassThroughCdbLength = 16 };

// Operation codes.
enum : BYTE {
    kOpInquiry = 0x12,    // standard INQUIRY, 6-byte block
    kOpVendorIn = 0xF0,   // SMI vendor commands with data in (or none)
    kOpVendorOut = 0xF1,  // SMI vendor commands with data out
};

// Big-endian fields: the most significant byte first.
inline void PutBe16(BYTE* at, unsigned value) {
    at[0] = static_cast<BYTE>(value >> 8);
    at[1] = static_cast<BYTE>(value);
}
inline void PutBe24(BYTE* at, unsigned long value) {
    at[0] = static_cast<BYTE>(value >> 16);
    at[1] = static_cast<BYTE>(value >> 8);
    at[2] = static_cast<BYTE>(value);
}
inline void PutBe32(BYTE* at, unsigned long value) {
    at[0] = static_cast<BYTE>(value >> 24);
    at[1] = static_cast<BYTE>(value >> 16);
    at[2] = static_cast<BYTE>(value >> 8);
    at[3] = static_cast<BYTE>(value);
}
inline unsigned GetBe16(const BYTE* at) { return (unsigned(at[0]) << 8) | at[1]; }
inline unsigned long GetBe32(const BYTE* at) {
    return (static_cast<unsigned long>(at[0]) << 24) | (static_cast<unsigned long>(at[1]) << 16) |
           (static_cast<unsigned long>(at[2]) << 8) | at[3];
}

// Clears all 16 bytes of a command block.
inline void ClearCdb(BYTE* cdb) { std::memset(cdb, 0, kCdbSize); }

// INQUIRY for `allocationLength` bytes of standard inquiry data: 12 00 00 00 len 00.
inline void BuildInquiryCdb(BYTE* cdb, BYTE allocationLength) {
    ClearCdb(cdb);
    cdb[0] = kOpInquiry;
    cdb[4] = allocationLength;
}
