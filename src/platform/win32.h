// The one platform include of the program and the drive SDK.
//
// On Windows it brings in the real SDK headers; elsewhere the simulated machine's
// declaration of the same subset, with the same names, types and values. Code in src/
// calls Win32 by its real names either way and never asks which build it is in.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The device interface class GUIDs are defined (not only declared) where initguid.h
// precedes their header; each definition is selectany, so every unit may do so.
#include <initguid.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <lm.h>
#include <shellapi.h>
#include <winver.h>

#if defined(_MSC_VER) && _WIN32_WINNT < 0x0502
// From Windows XP SP1; the SDK declares it for Server 2003 and later only.
extern "C" __declspec(dllimport) BOOL WINAPI SetDllDirectoryW(LPCWSTR lpPathName);
#endif

#else

#include <simwin/winapi.h>

#endif
