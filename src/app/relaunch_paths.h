// Where the tool's copy of itself goes and how it is started, when the tool runs from the
// drive it ejects: plain decisions over paths and names, apart from the calls that act.
#pragma once

#include "app/command_line.h"
#include "platform/win32.h"

#include <cstddef>

// Every copy's file name begins with the prefix and ends with the suffix; the clean-up of
// stale copies takes nothing else.
extern const char* const CopyNamePrefix;  // "korvanta-copy-"
extern const char* const CopyNameSuffix;  // ".exe"

// The drive letter, upper case, that an absolute path "X:\..." lies on; 0 for a path on no
// drive letter: a UNC path (\\server\share\...), the device and long-path forms (\\.\,
// \\?\), a relative path, or "X:" without its backslash.
char DriveOfPath(const char* path);

// Whether two full paths name the same file: the same text without regard to ASCII case.
bool SamePath(const char* a, const char* b);

// The full path of the copy that process `processId` makes on its `attempt`-th try:
// `folder` (ending in a backslash), the prefix, the id in decimal, "-", the attempt in
// decimal and the suffix. False, with `out` empty, when it does not fit `size`.
bool CopyPathFor(const char* folder, DWORD processId, unsigned attempt, char* out, size_t size);

// Whether `name`, a file name found in the temporary folder, is a copy's: longer than the
// prefix and the suffix together, beginning and ending with them without regard to case.
bool IsCopyName(const char* name);

// The copy's command line: its path in double quotes, the ejection the user asked for ("E:"
// for a named drive, "--all" for every drive, nothing for the highest letter), the wait as
// "--wait=N" when one was asked for, and the marker with the original's
// process id. False, with `out` empty, when it does not fit `size` or the path holds a
// double quote (no Windows path does).
bool CopyCommandLine(const char* copyPath, const ParsedCommand& command, DWORD originalId,
                     char* out, size_t size);
