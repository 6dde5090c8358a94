// Compiled with the program's include paths only: it must not find the simulated machine's
// own headers, so that code in src/ reaches nothing but the Windows names.
#include "platform/win32.h"
#include "sim/machine.h"

int SeamProbe() { return static_cast<int>(sim::machine().clockMs); }
