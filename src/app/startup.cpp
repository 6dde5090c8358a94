#include "app/startup.h"

HINSTANCE AppInstance = NULL;
LPSTR AppCommandLine = NULL;

void ResetConsoleApplication() {
    AppInstance = NULL;
    AppCommandLine = NULL;
}

BOOL StartConsoleApplication(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (instance == NULL || commandLine == NULL) return FALSE;
    if (!SetConsoleCtrlHandler(NULL, FALSE)) return FALSE;
    AppInstance = instance;
    AppCommandLine = commandLine;
    return TRUE;
}
