// The hand-over to a copy in the temporary folder on a real Win32 implementation, where the
// tool itself never reaches it (no USB drive). Three runs, told apart by the command line:
//   relaunch_probe            sweeps, then hands itself over as if it were ejecting the drive
//                             it lies on; prints nothing when the copy was started
//   (the copy, with the marker) waits for the original, then leaves a note of what it saw in
//                             the temporary folder (its standard output may not be shared
//                             when the original's is not a console)
//   relaunch_probe --list     waits up to 10 s for the note, prints it, and counts the
//                             copies before and after a sweep
#include "app/command_line.h"
#include "app/relaunch.h"
#include "app/relaunch_paths.h"
#include "app/stale_copies.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string TempFolder() {
    char folder[MAX_PATH] = {0};
    DWORD n = GetTempPathA(MAX_PATH, folder);
    return n > 0 && n < MAX_PATH ? folder : "";
}

std::string NotePath() { return TempFolder() + "korvanta-probe-note.txt"; }

int CountCopies() {
    WIN32_FIND_DATAA found;
    std::string pattern = TempFolder() + CopyNamePrefix + "*" + CopyNameSuffix;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (IsCopyName(found.cFileName)) ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

int RunAsCopy(DWORD original) {
    WaitForOriginal(original);
    HANDLE still = OpenProcess(SYNCHRONIZE, FALSE, original);
    bool ended = still == NULL || WaitForSingleObject(still, 0) == WAIT_OBJECT_0;
    if (still != NULL) CloseHandle(still);
    char image[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, image, MAX_PATH);
    const char* slash = std::strrchr(image, '\\');
    const char* name = slash ? slash + 1 : image;
    std::string imageFolder(image, static_cast<size_t>(name - image));
    FILE* note = std::fopen(NotePath().c_str(), "w");
    if (note == NULL) return 1;
    std::fprintf(note, "copy %s in %s, original %s\n", IsCopyName(name) ? "named" : "misnamed",
                 SamePath(imageFolder.c_str(), TempFolder().c_str()) ? "the temporary folder"
                                                                     : imageFolder.c_str(),
                 ended ? "ended" : "still running");
    std::fclose(note);
    return 0;
}

int Report() {
    std::string path = NotePath();
    for (int k = 0; k < 100; ++k) {
        FILE* note = std::fopen(path.c_str(), "r");
        if (note != NULL) {
            char line[200] = {0};
            if (std::fgets(line, sizeof line, note) != NULL) {
                std::fclose(note);
                line[std::strcspn(line, "\r\n")] = 0;
                std::printf("%s\n", line);
                DeleteFileA(path.c_str());
                // The copy has written its note and is ending; give it the time to.
                Sleep(500);
                std::printf("copies before the sweep: %d\n", CountCopies());
                RemoveStaleCopies();
                std::printf("copies after the sweep: %d\n", CountCopies());
                return 0;
            }
            std::fclose(note);
        }
        Sleep(100);
    }
    std::printf("no note from the copy\n");
    return 1;
}

}  // namespace

int main() {
    ParsedCommand command = ParseCommandLine(GetCommandLineA());
    if (command.relaunchedFrom != 0) return RunAsCopy(command.relaunchedFrom);
    if (command.form == CommandForm::List) return Report();
    if (command.form != CommandForm::EjectHighest) return 2;
    DeleteFileA(NotePath().c_str());
    RemoveStaleCopies();
    char image[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, image, MAX_PATH);
    if (!RelaunchFromCopy(DriveOfPath(image), command)) {
        std::printf("not handed over\n");
        return 1;
    }
    return 0;
}
