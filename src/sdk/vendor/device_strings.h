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
