// Where the tool's copy of itself goes and how it is started, when the tool runs from the
// drive it ejects: plain decisions over paths and names, apart from the calls that act.
// Paths are UTF-16, as Windows hands them out.
#pragma once

#include "platform/win32.h"

#include <cstddef>

// A copy's file name is the prefix, the process id of the run that made it in decimal, "-",
// the attempt in decimal and the suffix: "korvanta-copy-4200-0.exe".
extern const char* const CopyNamePrefix;  // "korvanta-copy-"
extern const char* const CopyNameSuffix;  // ".exe"

// Whether two full paths name the same file: the same text without regard to ASCII case.
bool SamePath(const WCHAR* a, const WCHAR* b);

// The full path of the copy that process `processId` makes on its `attempt`-th try:
// `folder` (ending in a backslash) and the copy's name. False, with `out` empty, when it
// does not fit `size` units.
bool CopyPathFor(const WCHAR* folder, DWORD processId, unsigned attempt, WCHAR* out, size_t size);

// Whether `name`, a file name found in the temporary folder, is exactly a copy's name:
// the prefix and suffix without regard to case, and two decimal numbers (each at most ten
// digits) between them. The sweep of stale copies takes nothing else.
bool IsCopyName(const WCHAR* name);

// The copy's command line: its path in double quotes, each of the `targetCount` `targets`
// (the ejection the user asked for: its targets, "--all", or none for the highest letter) as one
// argument, the wait as "--wait=N" when `waitSeconds` is not 0, and the marker with the
// original's process id. False, with `out` empty, when it does not fit `size` units or the
// path holds a double quote (no Windows path does).
bool CopyCommandLine(const WCHAR* copyPath, const WCHAR* const* targets, int targetCount,
                     DWORD waitSeconds, DWORD originalId, WCHAR* out, size_t size);
