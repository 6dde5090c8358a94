// Diagnostics trace: texts sent unchanged to the debugger output when the machine-wide
// switch HKLM\SOFTWARE\ZUDUZA "ShowDebugMsg" is a nonzero REG_DWORD. The switch is read
// once per process, from the program's own registry view, or from the 64-bit view when the
// key is missing there.
#pragma once

#include "platform/win32.h"

extern DWORD DebugSwitchLoaded;  // 1 once the switch has been read (or the read failed)
extern DWORD DebugSwitchOn;      // 1 while tracing is on; written only by LoadDebugSwitch

// Forgets the switch, as at program start: the next trace reads it again.
void ResetDebugSwitch();

// Reads the switch and sets DebugSwitchOn. Returns the status of the key open when the key
// cannot be opened, else the status of the value query.
LONG LoadDebugSwitch();

// Performs the one-time switch load if it has not happened yet.
void EnsureDebugSwitchLoaded();

// Sends `text` to the debugger output, as it is, when tracing is on.
void DebugTrace(const char* text);

// Entry, exit and error notes and labelled values: accepted and dropped, never shown.
void DebugTraceError(const char* text, DWORD flag);
void DebugTraceValue(DWORD value, const char* label, DWORD radix);
