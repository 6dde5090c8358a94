#include "sdk/trace/debug_trace.h"

DWORD DebugSwitchLoaded = 0;
DWORD DebugSwitchOn = 0;

void ResetDebugSwitch() {
    DebugSwitchLoaded = 0;
    DebugSwitchOn = 0;
}

LONG LoadDebugSwitch() {
    HKEY key = NULL;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", 0, KEY_READ, &key);
    // The program is 32-bit: on 64-bit Windows the open above reaches the 32-bit view
    // (SOFTWARE\WOW6432Node\ZUDUZA), while reg.exe and regedit write the 64-bit view. When
    // the key is not in the first, look in the second; 32-bit Windows ignores the flag and
    // answers the same key again.
    if (status == ERROR_FILE_NOT_FOUND)
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", 0,
                               KEY_READ | KEY_WOW64_64KEY, &key);
    if (status != ERROR_SUCCESS) return status;

    DWORD value = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof value;
    status =
        RegQueryValueExA(key, "ShowDebugMsg", NULL, &type, reinterpret_cast<LPBYTE>(&value), &size);
    if (status == ERROR_SUCCESS) {
        // Only a four-byte REG_DWORD is a switch; anything else (a string "1", a short
        // binary value) leaves tracing off rather than reading bytes that were not set.
        DebugSwitchOn = (type == REG_DWORD && size == sizeof value && value != 0) ? 1 : 0;
    }
    RegCloseKey(key);
    return status;
}

void EnsureDebugSwitchLoaded() {
    if (DebugSwitchLoaded == 0) {
        LoadDebugSwitch();
        DebugSwitchLoaded = 1;
    }
}

void DebugTrace(const char* text) {
    EnsureDebugSwitchLoaded();
    if (DebugSwitchOn != 0 && text != NULL) OutputDebugStringA(text);
}

void DebugTraceError(const char*, DWORD) {}

void DebugTraceValue(DWORD, const char*, DWORD) {}
