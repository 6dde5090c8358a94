// The per-device record of the drive SDK, the process-wide device table and the two
// process-wide selectors.
#pragma once

#include "platform/win32.h"

// One controller device. Handle fields hold -1 (INVALID_HANDLE_VALUE) while nothing is
// open.
struct SMIDiskInfo {
    BYTE haId;             // ASPI host adapter number
    BYTE targetId;         // SCSI target id
    HMODULE aspiModule;    // loaded ASPI library (ASPI road); -1: none
    HANDLE vxdHandle;      // \\.\vwin32 while a volume lock is held (ASPI road); -1: none
    HANDLE deviceHandle;   // the open volume "\\.\X:" (pass-through road); -1: none
    int lun;               // SCSI logical unit (ASPI road)
    char driveLetter;      // 'A'-'Z'; NUL: none
    BYTE isCdrom;          // 1: the CD-ROM unit of a CD-ROM + removable device (ASPI road)
    BYTE ctrlFlag;         // controller flag, set by controller identification
    int modelCode;         // model code found by the pass-through identification
    int descriptorOffset;  // string-descriptor offset: 32 or 0
    int secondOffset;      // 58 when descriptorOffset is 32, else 0
};

enum { kMaxSMIDisks = 20 };

// The devices of the last scan, from index 0; the scan's result says how many are valid.
// Zero at program start and never cleared: a shorter scan leaves later records as they were.
extern SMIDiskInfo SMIDiskTable[kMaxSMIDisks];

// 1 while the ASPI road is in use (Windows major version 4).
extern int UseASPI;

// Model code of the controller identified last; every vendor command takes it.
extern int CurrentModelCode;

// Empties the device table and clears both selectors, as they are at program start.
void ResetDeviceState();

// A record with every field zero and every handle field at -1, as a record must be before
// it is handed to the disk lock.
void ResetSMIDiskInfo(SMIDiskInfo* info);

// The ASPI module value that means "none".
inline HMODULE NoAspiModule() { return reinterpret_cast<HMODULE>(INVALID_HANDLE_VALUE); }
