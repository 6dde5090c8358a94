// The simulated machine's Win32 surface: everything src/ may call when it is built for
// Linux. src/ reaches this only through platform/win32.h.
#pragma once

#include "simwin/windef.h"
#include "simwin/kernel.h"
#include "simwin/setupapi.h"
#include "simwin/advapi.h"
#include "simwin/version.h"
#include "simwin/winevt.h"
