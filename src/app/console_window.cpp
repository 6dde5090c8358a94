#include "app/console_window.h"

#include "app/console.h"

#include <cstring>

namespace {

const DWORD kRecordsRead = 8;

// Waits until a key goes down, at most `milliseconds` by the tick counter.
void WaitForKey(HANDLE input, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        // Unsigned: the counter's wrap after 49.7 days does no harm.
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        if (WaitForSingleObject(input, milliseconds - elapsed) != WAIT_OBJECT_0) return;
        // Key releases, mouse moves and focus changes wake the wait too; they are read and
        // passed over.
        INPUT_RECORD records[kRecordsRead];
        DWORD read = 0;
        if (!ReadConsoleInputW(input, records, kRecordsRead, &read)) return;
        for (DWORD k = 0; k < read && k < kRecordsRead; ++k)
            if (records[k].EventType == KEY_EVENT && records[k].Event.KeyEvent.bKeyDown) return;
    }
}

}  // namespace

bool ConsoleWindowIsOwn() {
    if (!StandardStreamIsConsole(STD_OUTPUT_HANDLE)) return false;
    // Room for one process more than this one: a list of one tells the window is its own.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return false;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) == 0 || startup.wShowWindow != SW_HIDE;
}

void KeepConsoleWindow(bool ejected) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == NULL || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return;
    if (!ejected) ConsolePrint("Press any key to close this window.\n");
    // With processed input off, Ctrl+C is a key like any other, not the signal that would end
    // the process with an exit code of its own.
    BOOL modeSet = SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT));
    FlushConsoleInputBuffer(input);
    WaitForKey(input, ejected ? kEjectedWindowMs : kReportWindowMs);
    if (modeSet) SetConsoleMode(input, mode);
}
