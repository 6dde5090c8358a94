#include "app/korvanta_main.h"

#include "app/about.h"
#include "app/command_line.h"
#include "app/console.h"
#include "app/console_window.h"
#include "app/controller_info.h"
#include "app/drive_list.h"
#include "app/eject_run.h"
#include "app/library_search.h"
#include "app/relaunch.h"
#include "app/stale_copies.h"
#include "app/startup.h"
#include "app/targets.h"
#include "platform/win32.h"

#include <cstring>

#ifndef KORVANTA_PRODUCT_PAGE
#define KORVANTA_PRODUCT_PAGE "https://www.example.com/"
#endif

const char* const ProductPageAddress = KORVANTA_PRODUCT_PAGE;

namespace {

void OpenProductPage() {
    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.lpVerb = "open";
    info.lpFile = ProductPageAddress;
    info.lpDirectory = "C:\\";
    info.nShow = SW_SHOWNORMAL;
    // A browser that cannot be started is not reported: the console line says enough.
    if (!ShellExecuteExA(&info)) (void)GetLastError();
}

// The start-up every form that touches a drive makes; reports its failure itself.
bool StartUp() {
    HMODULE module = GetModuleHandleA(NULL);
    if (module == NULL) {
        ConsolePrint("Fatal Error: GetModuleHandle failed\n");
        return false;
    }
    if (!StartConsoleApplication(module, NULL, GetCommandLineA(), 0)) {
        ConsolePrint("Fatal Error: MFC initialization failed\n");
        return false;
    }
    return true;
}

// The ejection of the drives the targets name: the line of each target that names none,
// then the ejection of the others as --all ejects, or, from the stick, the hand-over to a
// copy, which prints every line.
int EjectTargets(ParsedCommand* command, const char* letters, int count, bool* ejected) {
    ResolvePlaces(command, letters, count);
    NamedDrives named;
    FindNamedDrives(*command, letters, count, &named);
    if (named.count > 0) {
        LeaveCurrentDirectory();
        // The copy of the program hands nothing on again.
        if (command->relaunchedFrom == 0 && RelaunchFromCopy(named.letters, *command)) return 0;
    }
    bool allNamed = ReportUnnamedTargets(*command, named);
    if (named.count == 0) {
        MessageBeep(MB_ICONHAND);
        return 1;
    }
    int exitCode = EjectAllAndReport(named.letters, named.count, command->waitSeconds, !allNamed);
    *ejected = exitCode == 0;
    return exitCode;
}

// The run of one form: prints its lines, makes its sound and returns the exit code. An
// ejecting form leaves the single-instance guard in `guard` and says in `ejected` whether
// it ejected everything it was asked to.
int RunForm(ParsedCommand* command, HANDLE* guard, bool* ejected) {
    switch (command->form) {
        case CommandForm::Usage: ConsoleError("%s", UsageLine); return 2;
        case CommandForm::Help: return ShowHelp();
        case CommandForm::Version: return ShowVersion();
        case CommandForm::List: return StartUp() ? ListDrives() : 1;
        case CommandForm::Info: return StartUp() ? ShowControllerInfo(command->driveLetter) : 1;
        case CommandForm::EjectHighest:
        case CommandForm::EjectTargets:
        case CommandForm::EjectAll: break;
    }

    // A copy the tool started of itself waits for the original, which holds the guard until
    // it ends.
    if (command->relaunchedFrom != 0) WaitForOriginal(command->relaunchedFrom);

    // The guard is held until the process ends; the system releases it then.
    *guard = CreateMutexA(NULL, TRUE, "Korvanta");
    if (*guard == NULL || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
    if (!StartUp()) return 1;
    // Under the guard: no other ejecting run can then be between making its copy and
    // starting it, while the copy is not yet in use.
    RemoveStaleCopies();

    char letters[kMaxSysInfoLetters + 1];
    int mediaCount = SupportedDrivesWithMedia(letters);
    if (command->form == CommandForm::EjectTargets)
        return EjectTargets(command, letters, mediaCount, ejected);

    if (mediaCount == 0) {
        // Only the form without arguments opens the product page.
        if (command->form == CommandForm::EjectHighest) OpenProductPage();
        ConsolePrint("No USB drive detected.\n");
        MessageBeep(MB_ICONHAND);
        return 0;
    }
    char target = letters[0];
    for (int i = 1; i < mediaCount; ++i)
        if (letters[i] > target) target = letters[i];

    LeaveCurrentDirectory();
    bool all = command->form == CommandForm::EjectAll;
    // The copy of the program hands nothing on again.
    if (command->relaunchedFrom == 0 &&
        (all ? RelaunchFromCopy(letters, *command) : RelaunchFromCopy(target, *command)))
        return 0;
    int exitCode = all ? EjectAllAndReport(letters, mediaCount, command->waitSeconds)
                       : EjectAndReport(target, command->waitSeconds);
    *ejected = exitCode == 0;
    return exitCode;
}

}  // namespace

int KorvantaMain() {
    RestrictLibrarySearch();
    ParsedCommand command = ParseCommandLine(GetCommandLineW());
    HANDLE guard = NULL;
    bool ejected = false;
    int exitCode = RunForm(&command, &guard, &ejected);
    // Started by a double-click, the report would close with the window; a run that printed
    // nothing has nothing to show.
    if (ConsoleHasPrinted() && ConsoleWindowIsOwn()) {
        // A second start, once the person has closed the blocking program, runs at once.
        if (guard != NULL) CloseHandle(guard);
        KeepConsoleWindow(ejected);
    }
    return exitCode;
}
