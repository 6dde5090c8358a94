// The record Windows writes to the System log when a process stops the removal of a
// device (provider Microsoft-Windows-Kernel-PnP, event 225), read from the event's XML
// rendering.
//
// The XML is taken as narrow text: the lookup converts the UTF-16 rendering to UTF-8 first,
// bounded, so every field lands in a fixed buffer of this record with every character kept,
// and no byte of a character is ever taken for markup. The
// event data is read by position, which the provider fixes: process id, length and text
// of the process name, length and text of the device instance ID, then the command line
// (its length, then its text). The Name attributes of the fields are not relied on.
#pragma once

#include "platform/win32.h"

#include <cstddef>

// The provider and event of a vetoed removal.
extern const char* const RemovalVetoProvider;  // "Microsoft-Windows-Kernel-PnP"
const DWORD kRemovalVetoEventId = 225;

// Longest texts kept, without the terminator. A device instance ID is at most 200
// characters (MAX_DEVICE_ID_LEN); a process name is an NT device path of the image.
const size_t kMaxEventProvider = 127;
const size_t kMaxEventTime = 39;
const size_t kMaxVetoProcessName = 1023;
const size_t kMaxVetoDeviceId = 200;
const size_t kMaxVetoCommandLine = 1023;

struct RemovalVetoEvent {
    char provider[kMaxEventProvider + 1];
    DWORD eventId;
    char systemTime[kMaxEventTime + 1];  // TimeCreated SystemTime, e.g. 2026-01-05T10:00:01.5Z
    DWORD processId;
    char processName[kMaxVetoProcessName + 1];  // \Device\HarddiskVolume3\...\program.exe, UTF-8
    char deviceInstanceId[kMaxVetoDeviceId + 1];
    char commandLine[kMaxVetoCommandLine + 1];  // cut to fit; empty when the event has none
};

// Reads one rendered event: the provider name, the event id, the creation time and the
// event data. Looks at no more than `length` characters of `xml` and needs no terminator.
// Returns false, leaving `event` zeroed, when the text is not a whole event, a field is
// missing, the process id is not a number, or the process name, device instance ID,
// provider or time does not fit its buffer (a cut name would name another program).
bool ParseRemovalVetoEvent(const char* xml, size_t length, RemovalVetoEvent* event);

// True for an event 225 of the Kernel-PnP provider about `deviceInstanceId`. Device
// instance IDs compare without regard to case, as Windows compares them.
bool IsRemovalVetoOf(const RemovalVetoEvent& event, const char* deviceInstanceId);

// The last component of a process name ("dllhost.exe" of
// "\Device\HarddiskVolume3\Windows\System32\dllhost.exe"), within `processName`. Taken on
// UTF-16 text, where a backslash is always one: in a double-byte code page the second byte of
// a character may be 0x5C (ソ is 83 5C in code page 932).
const WCHAR* ProgramOfProcessName(const WCHAR* processName);
