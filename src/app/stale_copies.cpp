#include "app/stale_copies.h"

#include "app/relaunch.h"
#include "app/relaunch_paths.h"
#include "platform/win32.h"

#include <cstdio>
#include <cstring>

// Each run leaves at most one copy behind. The search stops after this many names, so that
// a temporary folder full of them cannot hold up an ejection; a later run takes the rest.
const int MaxStaleCopyNames = 64;

void RemoveStaleCopies() {
    char image[MAX_PATH];
    char folder[MAX_PATH];
    if (!OwnImagePath(image, MAX_PATH) || !TemporaryFolder(folder, MAX_PATH)) return;

    char pattern[MAX_PATH];
    int n =
        std::snprintf(pattern, sizeof pattern, "%s%s*%s", folder, CopyNamePrefix, CopyNameSuffix);
    if (n < 0 || static_cast<size_t>(n) >= sizeof pattern) return;

    WIN32_FIND_DATAA found;
    std::memset(&found, 0, sizeof found);
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    int looked = 0;
    do {
        found.cFileName[MAX_PATH - 1] = 0;
        // The pattern also matches short (8.3) names and longer extensions: the name itself
        // decides.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !IsCopyName(found.cFileName))
            continue;
        char path[MAX_PATH];
        n = std::snprintf(path, sizeof path, "%s%s", folder, found.cFileName);
        if (n < 0 || static_cast<size_t>(n) >= sizeof path || SamePath(path, image)) continue;
        // A copy still running fails to delete (access denied or a sharing violation) and
        // stays for a later run.
        DeleteFileA(path);
    } while (++looked < MaxStaleCopyNames && FindNextFileA(search, &found));
    FindClose(search);
}
