// The console of the simulated machine: the program's standard streams, each the console or
// a file it was redirected to; the console's window (how the process was started, which
// processes share it) and its input, keys pressed at moments of the virtual clock.
//
// A console shows what WriteConsoleW writes as it is, and the bytes WriteFile writes in its
// output code page, the machine's OEM one. A redirected stream keeps the bytes; a person
// reads them in the ANSI code page.
#include "console.h"

#include "code_pages.h"
#include "fault.h"

#include <cstring>
#include <string>

using sim::Fail;
using sim::FaultHere;
using sim::Hex;
using sim::machine;

namespace {

const DWORD kBrokenPipe = 109;  // ERROR_BROKEN_PIPE: the reader of the output ended

// Console handles have their low two bits set, as on Windows XP.
const HANDLE kStandardInput = reinterpret_cast<HANDLE>(uintptr_t(0x3));
const HANDLE kStandardOutput = reinterpret_cast<HANDLE>(uintptr_t(0x7));
const HANDLE kStandardError = reinterpret_cast<HANDLE>(uintptr_t(0xB));

const sim::Stream* StreamOf(HANDLE h) {
    const sim::Console& c = machine().console;
    if (h == kStandardInput) return &c.input;
    if (h == kStandardOutput) return &c.output;
    if (h == kStandardError) return &c.error;
    return nullptr;
}

bool IsConsole(HANDLE h) {
    const sim::Stream* stream = StreamOf(h);
    return stream != nullptr && *stream == sim::Stream::Console;
}

bool IsOutput(HANDLE h) { return h == kStandardOutput || h == kStandardError; }

// What a write shows: the text a person reads and, redirected, the bytes as written.
void Show(HANDLE h, const std::u16string& shown, const std::string& bytes) {
    sim::Machine& m = machine();
    bool isError = h == kStandardError;
    bool toFile = !IsConsole(h);
    std::string text = sim::ToUtf8(shown);
    uint64_t seq = m.journal.NoteUtf8((isError ? "stderr " : "console ") + text);
    (isError ? m.journal.errorOutput : m.journal.console)
        .push_back({seq, text, toFile, toFile ? bytes : std::string()});
}

// Moves the keys whose moment has come into the input, a key-down and a key-up record each.
// With processed input on, Ctrl+C makes no record: the console signals the process instead,
// and its default handler ends it.
void Arrive() {
    sim::Machine& m = machine();
    sim::Console& c = m.console;
    while (c.keysArrived < c.keys.size() && c.keys[c.keysArrived].atMs <= m.clockMs) {
        const sim::KeyPress& key = c.keys[c.keysArrived++];
        if (key.character == 3 && (c.inputMode & ENABLE_PROCESSED_INPUT) != 0) {
            m.journal.Note("input ctrl+c ends the process");
            continue;
        }
        for (BOOL down : {TRUE, FALSE}) {
            INPUT_RECORD record;
            std::memset(&record, 0, sizeof record);
            record.EventType = KEY_EVENT;
            record.Event.KeyEvent.bKeyDown = down;
            record.Event.KeyEvent.wRepeatCount = 1;
            record.Event.KeyEvent.wVirtualKeyCode = key.virtualKey;
            record.Event.KeyEvent.uChar.UnicodeChar = key.character;
            record.Event.KeyEvent.dwControlKeyState = key.controlKeys;
            c.pending.push_back(record);
        }
    }
}

// Lets the virtual clock run to the next key while the input is empty, up to `deadline`.
void WaitForRecords(uint64_t deadline) {
    sim::Machine& m = machine();
    sim::Console& c = m.console;
    Arrive();
    while (c.pending.empty() && c.keysArrived < c.keys.size() &&
           c.keys[c.keysArrived].atMs <= deadline) {
        m.clockMs = c.keys[c.keysArrived].atMs;
        Arrive();
    }
}

bool StillRunning(DWORD id) {
    const sim::Machine& m = machine();
    auto it = m.processes.find(id);
    return it == m.processes.end() ||
           !(it->second.end == sim::ProcessEnd::Later && it->second.endsAtMs <= m.clockMs);
}

}  // namespace

namespace sim {

bool IsStandardInput(HANDLE h) { return h == kStandardInput; }

DWORD WaitForConsoleInput(DWORD milliseconds) {
    Machine& m = machine();
    if (m.console.input == Stream::File) {
        m.journal.Note("wait input file");
        return WAIT_OBJECT_0;
    }
    uint64_t deadline =
        milliseconds == INFINITE ? UINT64_MAX : m.clockMs + static_cast<uint64_t>(milliseconds);
    WaitForRecords(deadline);
    if (!m.console.pending.empty()) {
        m.journal.Note("wait input");
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) {
        m.journal.Note("wait forever");
        return Fail(ERROR_INVALID_PARAMETER, DWORD(WAIT_FAILED));
    }
    m.clockMs = deadline;
    m.journal.Note("wait timeout " + std::to_string(milliseconds));
    return WAIT_TIMEOUT;
}

}  // namespace sim

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    if (FaultHere("GetStdHandle")) return Fail(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
    // The standard handles are the process's own and are never closed by it.
    if (nStdHandle == STD_INPUT_HANDLE) return kStandardInput;
    if (nStdHandle == STD_OUTPUT_HANDLE) return kStandardOutput;
    if (nStdHandle == STD_ERROR_HANDLE) return kStandardError;
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD n, LPDWORD lpWritten, LPOVERLAPPED) {
    if (FaultHere("WriteFile")) return Fail(kBrokenPipe, FALSE);
    const sim::Machine& m = machine();
    if (!IsOutput(hFile) || (lpBuffer == nullptr && n != 0))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::string bytes(static_cast<const char*>(lpBuffer), n);
    Show(hFile, sim::Decode(bytes, IsConsole(hFile) ? m.codePages.oem : m.codePages.ansi), bytes);
    if (lpWritten) *lpWritten = n;
    return TRUE;
}

BOOL WINAPI WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD n, LPDWORD lpWritten,
                          LPVOID) {
    if (FaultHere("WriteConsoleW")) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!IsOutput(hConsoleOutput) || !IsConsole(hConsoleOutput))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpBuffer == nullptr && n != 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    Show(hConsoleOutput, std::u16string(static_cast<const WCHAR*>(lpBuffer), n), "");
    if (lpWritten) *lpWritten = n;
    return TRUE;
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    if (FaultHere("GetConsoleMode")) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!IsConsole(hConsoleHandle)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpMode == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpMode = hConsoleHandle == kStandardInput
                  ? machine().console.inputMode
                  : ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}

BOOL WINAPI SetConsoleMode(HANDLE hConsoleHandle, DWORD dwMode) {
    if (FaultHere("SetConsoleMode")) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!IsConsole(hConsoleHandle)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    sim::Machine& m = machine();
    if (hConsoleHandle == kStandardInput) {
        m.console.inputMode = dwMode;
        m.journal.Note("input mode " + Hex(dwMode));
    }
    return TRUE;
}

// The program's own process and the others still attached; a list too short for them all
// is left alone and the count it needs is returned.
DWORD WINAPI GetConsoleProcessList(LPDWORD lpdwProcessList, DWORD dwProcessCount) {
    if (FaultHere("GetConsoleProcessList")) return Fail(ERROR_INVALID_HANDLE, DWORD(0));
    if (lpdwProcessList == nullptr || dwProcessCount == 0)
        return Fail(ERROR_INVALID_PARAMETER, DWORD(0));
    const sim::Machine& m = machine();
    std::vector<DWORD> ids = {m.process.id};
    for (DWORD id : m.console.otherProcesses)
        if (StillRunning(id)) ids.push_back(id);
    if (ids.size() <= dwProcessCount)
        std::memcpy(lpdwProcessList, ids.data(), ids.size() * sizeof(DWORD));
    return static_cast<DWORD>(ids.size());
}

BOOL WINAPI FlushConsoleInputBuffer(HANDLE hConsoleInput) {
    if (FaultHere("FlushConsoleInputBuffer")) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (hConsoleInput != kStandardInput || !IsConsole(hConsoleInput))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    sim::Machine& m = machine();
    Arrive();
    m.journal.Note("input flush " + std::to_string(m.console.pending.size()));
    m.console.pending.clear();
    return TRUE;
}

// Waits, on the virtual clock, until the input holds a record, then reads what it holds up to
// `nLength` records.
BOOL WINAPI ReadConsoleInputW(HANDLE hConsoleInput, PINPUT_RECORD lpBuffer, DWORD nLength,
                              LPDWORD lpNumberOfEventsRead) {
    if (FaultHere("ReadConsoleInputW")) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (hConsoleInput != kStandardInput || !IsConsole(hConsoleInput))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpBuffer == nullptr || lpNumberOfEventsRead == nullptr || nLength == 0)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    sim::Machine& m = machine();
    sim::Console& c = m.console;
    WaitForRecords(UINT64_MAX);
    if (c.pending.empty()) {
        // No key will ever come: a real program would wait here for good.
        m.journal.Note("input read forever");
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    DWORD n = 0;
    for (; n < nLength && !c.pending.empty(); ++n) {
        lpBuffer[n] = c.pending.front();
        c.pending.pop_front();
    }
    *lpNumberOfEventsRead = n;
    m.journal.Note("input read " + std::to_string(n));
    return TRUE;
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE, BOOL) {
    if (FaultHere("SetConsoleCtrlHandler")) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!machine().process.consoleControlAvailable) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

// How the process was started: Explorer and shortcuts give a show state; a program that
// starts the tool hidden gives SW_HIDE.
void WINAPI GetStartupInfoA(LPSTARTUPINFOA lpStartupInfo) {
    const sim::Console& c = machine().console;
    std::memset(lpStartupInfo, 0, sizeof *lpStartupInfo);
    lpStartupInfo->cb = sizeof *lpStartupInfo;
    if (c.showWindow) {
        lpStartupInfo->dwFlags = STARTF_USESHOWWINDOW;
        lpStartupInfo->wShowWindow = *c.showWindow;
    }
}
