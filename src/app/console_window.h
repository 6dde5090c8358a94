// The console window of a double-click: Explorer (or a shortcut, or the Run box) gives the
// program a console of its own, which Windows closes with the last process attached to it,
// so the report would vanish with the tool. Alone in such a window, the tool keeps it open
// for the person to read.
#pragma once

#include "platform/win32.h"

// How long the window stays after an ejection of everything asked for, unless a key is pressed
// first; and how long it waits for a key after any other report.
const DWORD kEjectedWindowMs = 3000;
const DWORD kReportWindowMs = 60000;

// True when standard output is a console, no other process is attached to it, and the
// process was not started hidden (STARTF_USESHOWWINDOW with SW_HIDE, as hotkey tools start it).
bool ConsoleWindowIsOwn();

// Keeps the window after the report: after an ejection of everything asked for (`ejected`),
// for kEjectedWindowMs or until a key is pressed; after anything else, prints "Press any key
// to close this window." and waits for a key, at most kReportWindowMs. Keys pressed before
// the wait do not count; any key after it ends it, Ctrl+C too. Nothing waits when standard
// input is not the console.
void KeepConsoleWindow(bool ejected);
