// The console application's start-up: what a framework start-up does for a console
// program, done by hand. It can fail, and the entry point reports that.
#pragma once

#include "platform/win32.h"

extern HINSTANCE AppInstance;  // the program's module, once started
extern LPSTR AppCommandLine;   // the process command line, once started

// Forgets the module and the command line, as before start-up.
void ResetConsoleApplication();

// Records the module and the command line and restores the normal Ctrl+C handling of the
// console (a parent may have started the program with it disabled), so that a user can
// stop a run that waits on a device. Returns nonzero on success.
BOOL StartConsoleApplication(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
