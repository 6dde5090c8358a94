// Drive letters of SMI devices on Windows 95, 98 and ME, read from the registry: the live
// device nodes under HKEY_DYN_DATA "Config Manager\Enum" name their hardware keys, and
// HKEY_LOCAL_MACHINE "Enum\<hardware key>" holds each unit's class, drive letter, SCSI LUN
// and target id.
#pragma once

#include "platform/win32.h"

enum { kHardwareKeyChars = 260 };

// One device. The unit index of a unit is its presence field's value: the CD-ROM unit
// lives at index 1, the removable unit at index 2; index 0 stays empty.
struct HWKEYNode {
    int cdromIndex;                     // 1 when a CD-ROM unit was found, else 0
    int removableIndex;                 // 2 when a removable-disk unit was found, else 0
    char firstKey[kHardwareKeyChars];   // the hardware key that created the entry
    char secondKey[kHardwareKeyChars];  // the key of a further unit paired with it
    char unitLetter[3];
    int unitLun[3];
    int unitTarget[3];
    HWKEYNode* next;
};

// A zero-filled entry, the head of a new list or an entry to append; NULL when memory is
// short. ReleaseHWKEYList frees it.
HWKEYNode* NewHWKEYNode();

// Appends one entry per SMI device to the list behind `head` (a zero-filled dummy entry)
// and returns the number of matching hardware keys; 0 on any registry failure or when memory
// is short (entries appended before it stay in the list).
int ParseHWKEYList(HWKEYNode* head);

// Stores the drive letter of the n-th matching hardware key (from 0) in *letter and returns
// 1; returns 0 with *letter = 0xFF when there is none.
int FindDiskLetter(char* letter, int n);

// Frees every entry and the head.
void ReleaseHWKEYList(HWKEYNode* head);

// The rules, apart from the registry. `windowsMe` chooses the Windows ME forms.
bool IsSMIHardwareKey(const char* key, bool windowsMe);
bool HardwareKeysPair(const char* key, const char* entryKey, bool windowsMe);
