#include "app/korvanta_main.h"

#include "app/console.h"
#include "app/eject.h"
#include "app/startup.h"
#include "platform/win32.h"
#include "sdk/discovery/sysinfo.h"
#include "sdk/system/drive_paths.h"

#include <cstring>
#include <string>

#ifndef KORVANTA_PRODUCT_PAGE
#define KORVANTA_PRODUCT_PAGE "https://www.example.com/"
#endif

const char* const ProductPageAddress = KORVANTA_PRODUCT_PAGE;

namespace {

// A drive has media when its volume opens for reading and answers the media check.
bool HasMedia(char letter) {
    HANDLE volume = CreateFileA(VolumePathOf(letter).text, FILE_READ_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (volume == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    BOOL ready =
        DeviceIoControl(volume, IOCTL_STORAGE_CHECK_VERIFY, NULL, 0, NULL, 0, &returned, NULL);
    CloseHandle(volume);
    return ready != FALSE;
}

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

}  // namespace

int KorvantaMain() {
    // The guard is held until the process ends; the system releases it then.
    HANDLE guard = CreateMutexA(NULL, TRUE, "Korvanta");
    if (guard == NULL || GetLastError() == ERROR_ALREADY_EXISTS) return 1;

    HMODULE module = GetModuleHandleA(NULL);
    if (module == NULL) {
        ConsolePrint("Fatal Error: GetModuleHandle failed\n");
        return 1;
    }
    if (!StartConsoleApplication(module, NULL, GetCommandLineA(), 0)) {
        ConsolePrint("Fatal Error: MFC initialization failed\n");
        return 1;
    }

    // Room for every letter any producer can return, plus the terminator.
    char letters[kMaxSysInfoLetters + 1];
    std::memset(letters, 0, sizeof letters);
    int count = GetSysInfo(letters, NULL, NULL);
    if (count < 0) count = 0;
    if (count > kMaxSysInfoLetters) count = kMaxSysInfoLetters;
    letters[count] = 0;

    char withMedia[kMaxSysInfoLetters + 1];
    std::memset(withMedia, 0, sizeof withMedia);
    int mediaCount = 0;
    for (int i = 0; i < count; ++i)
        if (HasMedia(letters[i])) withMedia[mediaCount++] = letters[i];
    withMedia[mediaCount] = 0;
    std::memcpy(letters, withMedia, sizeof letters);

    if (mediaCount == 0) {
        OpenProductPage();
        ConsolePrint("No USB drive detected.\n");
        MessageBeep(MB_ICONHAND);
        return 0;
    }

    char target = letters[0];
    for (int i = 1; i < mediaCount; ++i)
        if (letters[i] > target) target = letters[i];

    std::string errorText;
    if (EjectDrive(target, errorText)) {
        ConsolePrint("Drive %c Ejected\n", target);
        MessageBeep(MB_OK);
        return 0;
    }
    ConsolePrint("Problem ejecting drive %c: %s\n", target, errorText.c_str());
    MessageBeep(MB_ICONHAND);
    return 1;
}
