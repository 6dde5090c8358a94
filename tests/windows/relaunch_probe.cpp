// The hand-over to a copy in the temporary folder on a real Win32 implementation, where the
// tool itself never reaches it (no USB drive). Each run first points its temporary folder
// (TMP) at a folder below the system's own whose name holds Cyrillic and Chinese letters, as
// an account named so has, outside the ANSI code page. Three runs, told apart by the
// command line:
//   relaunch_probe            sweeps, then hands itself over as the tool does once it has
//                             found its file on the drive it ejects; prints nothing when the
//                             copy was started
//   (the copy, with the marker) waits for the original, then leaves a note of what it saw in
//                             the temporary folder (its standard output may not be shared
//                             when the original's is not a console)
//   relaunch_probe --list     waits up to 10 s for the note, prints it, says whether the
//                             temporary folder's name is outside the ANSI code page, and
//                             counts the copies before and after a sweep
#include "app/command_line.h"
#include "app/relaunch.h"
#include "app/relaunch_paths.h"
#include "app/stale_copies.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// "korvanta-Проба-试验"
const wchar_t kForeignFolder[] = L"korvanta-\x041F\x0440\x043E\x0431\x0430-\x8BD5\x9A8C\\";

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH] = {0};
    DWORD n = GetTempPathW(MAX_PATH, folder);
    return n > 0 && n < MAX_PATH ? folder : L"";
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The copy inherits TMP from the original; the last run sets it the same way again.
void UseForeignTemporaryFolder() {
    std::wstring folder = TempFolder();
    if (EndsWith(folder, kForeignFolder)) return;
    folder += kForeignFolder;
    CreateDirectoryW(folder.c_str(), NULL);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
}

std::wstring Widened(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

std::wstring NotePath() { return TempFolder() + L"korvanta-probe-note.txt"; }

int CountCopies() {
    WIN32_FIND_DATAW found;
    std::wstring pattern = TempFolder() + Widened(CopyNamePrefix) + L"*" + Widened(CopyNameSuffix);
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (IsCopyName(found.cFileName)) ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

int RunAsCopy(DWORD original) {
    WaitForOriginal(original);
    HANDLE still = OpenProcess(SYNCHRONIZE, FALSE, original);
    bool ended = still == NULL || WaitForSingleObject(still, 0) == WAIT_OBJECT_0;
    if (still != NULL) CloseHandle(still);
    wchar_t image[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, image, MAX_PATH);
    const wchar_t* slash = std::wcsrchr(image, L'\\');
    const wchar_t* name = slash ? slash + 1 : image;
    std::wstring imageFolder(image, static_cast<size_t>(name - image));
    FILE* note = _wfopen(NotePath().c_str(), L"w");
    if (note == NULL) return 1;
    std::fprintf(note, "copy %s in %s, original %s\n", IsCopyName(name) ? "named" : "misnamed",
                 SamePath(imageFolder.c_str(), TempFolder().c_str()) ? "the temporary folder"
                                                                     : "another folder",
                 ended ? "ended" : "still running");
    std::fclose(note);
    return 0;
}

int Report() {
    std::wstring path = NotePath();
    for (int k = 0; k < 100; ++k) {
        FILE* note = _wfopen(path.c_str(), L"r");
        if (note != NULL) {
            char line[200] = {0};
            if (std::fgets(line, sizeof line, note) != NULL) {
                std::fclose(note);
                line[std::strcspn(line, "\r\n")] = 0;
                std::printf("%s\n", line);
                BOOL lost = FALSE;
                char narrow[4 * MAX_PATH];
                WideCharToMultiByte(CP_ACP, 0, TempFolder().c_str(), -1, narrow, sizeof narrow,
                                    NULL, &lost);
                std::printf("temporary folder outside the ANSI code page: %s\n",
                            lost ? "yes" : "no");
                DeleteFileW(path.c_str());
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
    UseForeignTemporaryFolder();
    ParsedCommand command = ParseCommandLine(GetCommandLineW());
    if (command.relaunchedFrom != 0) return RunAsCopy(command.relaunchedFrom);
    if (command.form == CommandForm::List) return Report();
    if (command.form != CommandForm::EjectHighest) return 2;
    DeleteFileW(NotePath().c_str());
    RemoveStaleCopies();
    // Wine's drives have no USB device: the decision by device is the tool's, the hand-over
    // itself is tried here.
    wchar_t image[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, image, MAX_PATH);
    if (!HandOverToCopy(image, TempFolder().c_str(), command)) {
        std::printf("not handed over\n");
        return 1;
    }
    return 0;
}
