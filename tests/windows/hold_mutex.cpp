// Holds the single-instance mutex "Korvanta" while it runs the program named on its
// command line, then exits with that program's exit code (standard output is shared).
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HANDLE guard = CreateMutexA(NULL, TRUE, "Korvanta");
    if (guard == NULL) return 3;

    std::string commandLine = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return 4;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 4;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(guard);
    return static_cast<int>(code);
}
