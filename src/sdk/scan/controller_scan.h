// The controller scan: finds the USB flash drives built on SMI controllers and fills the
// device table, through the pass-through (drive letters D: to Z:) or, on Windows major
// version 4, through ASPI host adapters and the registry's hardware keys.
#pragma once

#include "platform/win32.h"
#include "sdk/device/device_table.h"

enum { kInquiryRecordBuffer = 512 };

// Runs the scan, sets UseASPI, fills SMIDiskTable from index 0 and returns the number of
// records written (0 when nothing was found or the ASPI library is missing). The table
// holds 20 records: devices found after the 20th record are dropped (on the pass-through
// road the letters after the 20th matching one are not probed; on the ASPI road the
// adapters after the one that filled the table).
int ScanSMIDisks();

// ASPI road: makes `out` the device of table record `index` (its adapter, LUN and letter,
// target 0) with a module handle of its own load of the ASPI library, which CloseSMIDisk
// releases. Returns 1 on success, 0 otherwise (then nothing stays loaded).
int OpenSMIDiskByIndex(int index, SMIDiskInfo* out);

// Releases what OpenSMIDiskByIndex took. Always returns 1.
int CloseSMIDisk(SMIDiskInfo* info);

// Pass-through road: the INQUIRY record of drive `letter` (INQUIRY bytes 5-55) into
// `record`. Returns the transport's result; 0 when the volume cannot be opened.
int InquireDrive(char letter, BYTE* record);

// What Windows answered the last scan (ScanSMIDisks) for drive `letter` on the
// pass-through road: the error code of its refused volume open or refused INQUIRY request
// (ERROR_ACCESS_DENIED for a process without administrator rights in effect), 0 when both
// went through, when the letter was not probed, on the ASPI road, or for a letter outside
// A to Z.
DWORD ScanAnswerOf(char letter);

// The SMI signature in an inquiry record (record byte k is INQUIRY byte k+5). On the
// pass-through road the record is 51 bytes long and bytes 48-50 count too; elsewhere it is
// 27 bytes. `lowerCase` is set when the match was the lower-case vendor "smi".
bool HasSMISignature(const BYTE* record, bool passThroughRoad, bool* lowerCase);
