// SCSI commands through the ASPI manager "wnaspi32.dll" (Windows major version 4): the
// INQUIRY probe of the device scan and the command execution of the dispatch.
#pragma once

#include "platform/aspi.h"

enum AspiDirection { kAspiDataIn, kAspiDataOut };

enum { kAspiInquiryRecordLength = 27 };

// Sends INQUIRY (36 bytes) to one host adapter, target and LUN and copies INQUIRY bytes
// 5-31 to `out` (27 bytes; zeros where the device sent nothing). Returns 1 when the probe
// was sent, 0 when it was not (no event, or no SendASPI32Command: then a message box says
// "Call wnaspi32.dll fail").
int InquireASPIDevice(HMODULE module, BYTE hostAdapter, BYTE target, BYTE lun, BYTE* out);

// Sends one command with a data phase, addressed to the host adapter and target of
// SMIDiskTable entry 0. `cdb` is 16 bytes, declared as 12. Returns 1 when the command was
// handed to the ASPI layer, whatever its outcome; 0 when it was not.
int ASPIExecSCSICommand(HMODULE module, AspiDirection direction, int lun, const BYTE* cdb,
                        BYTE* buffer, DWORD length);

// The entry points, looked up by name each time they are needed. Null when missing.
GetASPI32SupportInfoFn LookUpGetASPI32SupportInfo(HMODULE module);
