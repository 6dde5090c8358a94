// The USB manufacturer and product strings that a controller stores in its information
// block.
#pragma once

#include "platform/win32.h"
#include "sdk/device/device_table.h"

// Size of each string buffer the callers provide.
enum { kDeviceStringSize = 64 };

// Identifies the controller of `info`, reads its information block and extracts the two
// strings into `vendor` and `product` (64 bytes each, always NUL-terminated). Returns 1
// on success, 0 on failure; the strings are extracted either way.
int GetDeviceStrings(SMIDiskInfo* info, char* vendor, char* product);
// Reads the information block of `info` into `buffer` (2048 bytes). Returns 1 or 0.
int ReadDiskInfoBlock(SMIDiskInfo* info, BYTE* buffer);

// Where the string descriptors stand in the block, after the record's descriptorOffset.
enum {
    kManufacturerDescriptor = 22,  // length byte; type at +1, UTF-16LE text from +2
    kProductDescriptor = 84,
    kFirstGenerationTypeByte = 23,  // codes 0-9: 3 here marks a usable block
    kInfoBlockReadSize = 2048,
};

// Takes the string descriptor whose length byte is at `at` out of the `blockLength` bytes
// of `block`: the low byte of each UTF-16 unit, as many as the length byte describes, cut
// at the block's end and at `outSize` - 1 characters, then a NUL. Returns the count.
int ExtractDescriptorString(const BYTE* block, int blockLength, int at, char* out, int outSize);
// Both strings of a block whose descriptors are shifted by `descriptorOffset`.
void ExtractDeviceStrings(const BYTE* block, int blockLength, int descriptorOffset, char* vendor,
                          char* product, int outSize);
// The strings of a block read for a controller of `modelCode`, and the result the string
// read reports: the read's own, except that a first-generation block counts only with a
// string descriptor type at byte 23 (then it counts whatever the read reported, and without
// it nothing is extracted).
int DeviceStringsFromBlock(int modelCode, int readResult, const BYTE* block, int blockLength,
                           int descriptorOffset, char* vendor, char* product, int outSize);
