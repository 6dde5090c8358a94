#include "app/stale_copies.h"

#include "app/relaunch.h"
#include "app/relaunch_paths.h"
#include "app/wide_text.h"
#include "platform/win32.h"

#include <cstring>

// Each run leaves at most one copy behind. The search stops after this many names, so that
// a temporary folder full of them cannot hold up an ejection; a later run takes the rest.
const int MaxStaleCopyNames = 64;

void RemoveStaleCopies() {
    WCHAR image[MAX_PATH];
    WCHAR folder[MAX_PATH];
    if (!OwnImagePath(image, MAX_PATH) || !TemporaryFolder(folder, MAX_PATH)) return;

    WCHAR pattern[MAX_PATH];
    WideBuilder patternText = StartWide(pattern, MAX_PATH);
    AddWide(&patternText, folder);
    AddAscii(&patternText, CopyNamePrefix);
    AddAscii(&patternText, "*");
    AddAscii(&patternText, CopyNameSuffix);
    if (!patternText.fits) return;

    WIN32_FIND_DATAW found;
    std::memset(&found, 0, sizeof found);
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    int looked = 0;
    do {
        found.cFileName[MAX_PATH - 1] = 0;
        // The pattern also matches short (8.3) names, longer extensions and names that are
        // not a copy's at all ("korvanta-copy-backup.exe"): the name itself decides.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !IsCopyName(found.cFileName))
            continue;
        WCHAR path[MAX_PATH];
        WideBuilder pathText = StartWide(path, MAX_PATH);
        AddWide(&pathText, folder);
        AddWide(&pathText, found.cFileName);
        if (!pathText.fits || SamePath(path, image)) continue;
        // A copy still running fails to delete (access denied or a sharing violation) and
        // stays for a later run.
        DeleteFileW(path);
    } while (++looked < MaxStaleCopyNames && FindNextFileW(search, &found));
    FindClose(search);
}
