// The tool letting go of the drive it ejects. Started from the flash drive itself, its
// current directory and its own image file are open on that drive and Windows vetoes the
// ejection because of the tool: the directory moves off the drive, and the image hands the
// ejection to a copy of itself in the temporary folder.
#pragma once

#include "app/command_line.h"
#include "platform/win32.h"

// The program's own file, the temporary folder with its backslash, or the current folder,
// in `out` (`size` units); false, with `out` empty, when the name cannot be read whole (a name cut
// short comes back as the whole buffer, unterminated on older systems).
bool OwnImagePath(WCHAR* out, DWORD size);
bool TemporaryFolder(WCHAR* out, DWORD size);
bool CurrentFolder(WCHAR* out, DWORD size);

// Moves the process's current directory to the system directory. A failure is not
// reported: the ejection is then vetoed as it would have been.
void LeaveCurrentDirectory();

// When the program's own file lies on the USB device of any drive of `targets` (upper-case
// letters, terminated), through whichever of its volumes, subst letters or mounted folders,
// copies it to a fresh file in the temporary folder and starts the copy with the ejection
// `command` asks for and the marker carrying this process's id, in this console. True when
// the copy runs: the caller then exits with 0 and does nothing else. False when the file
// lies elsewhere (or its name cannot be read whole), when the temporary folder is on one of
// those devices too, or when the copy cannot be made or started; a partial copy is deleted.
bool RelaunchFromCopy(const char* targets, const ParsedCommand& command);
bool RelaunchFromCopy(char target, const ParsedCommand& command);

// The hand-over itself, once it is decided: copies `image` into `folder` (with its
// backslash) and starts the copy as above. True when the copy runs.
bool HandOverToCopy(const WCHAR* image, const WCHAR* folder, const ParsedCommand& command);

// The time the copy gives the original to end.
extern const DWORD OriginalExitWaitMs;

// In the copy: waits for the original, process `originalId`, to end, at most
// OriginalExitWaitMs. An original that cannot be opened has ended already.
void WaitForOriginal(DWORD originalId);
