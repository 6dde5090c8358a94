#include "app/veto_owner.h"

#include "app/console.h"
#include "app/veto_event.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kLogChannel[] = "System";
// The System process: the kernel and its drivers, which hold a volume for the file system.
const DWORD kSystemProcessId = 4;
// The System log's records of vetoed removals, of the last %lu milliseconds.
const char kVetoQueryFormat[] =
    "*[System[Provider[@Name='%s'] and (EventID=%lu) and "
    "TimeCreated[timediff(@SystemTime) <= %lu]]]";
const size_t kQueryChars = 256;

// Events asked for at once, and how long one request may wait for them: two requests at
// most, so the waits stay under half a second.
const DWORD kEventsPerRequest = 16;
const DWORD kRequestTimeoutMs = 200;

// A rendered event is a few kilobytes; a larger one is skipped rather than read.
const DWORD kFirstRenderBytes = 8192;
const DWORD kMaxRenderBytes = 65536;

typedef EVT_HANDLE(WINAPI* EvtQueryFn)(EVT_HANDLE, LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI* EvtNextFn)(EVT_HANDLE, DWORD, EVT_HANDLE*, DWORD, DWORD, PDWORD);
typedef BOOL(WINAPI* EvtRenderFn)(EVT_HANDLE, EVT_HANDLE, DWORD, DWORD, PVOID, PDWORD, PDWORD);
typedef BOOL(WINAPI* EvtCloseFn)(EVT_HANDLE);

struct EventLogApi {
    EvtQueryFn query;
    EvtNextFn next;
    EvtRenderFn render;
    EvtCloseFn close;
};

// An entry point as its own type; through void (*)(void), which converts to any function type.
template <typename Fn>
Fn EntryPoint(HMODULE library, const char* name) {
    FARPROC proc = GetProcAddress(library, name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(proc));
}

bool LookUp(HMODULE library, EventLogApi* api) {
    api->query = EntryPoint<EvtQueryFn>(library, "EvtQuery");
    api->next = EntryPoint<EvtNextFn>(library, "EvtNext");
    api->render = EntryPoint<EvtRenderFn>(library, "EvtRender");
    api->close = EntryPoint<EvtCloseFn>(library, "EvtClose");
    return api->query && api->next && api->render && api->close;
}

// An ASCII text as UTF-16, terminated; `wide` holds at least strlen(text) + 1 units.
void WidenAscii(const char* text, WCHAR* wide) {
    size_t k = 0;
    for (; text[k] != 0; ++k) wide[k] = static_cast<WCHAR>(static_cast<unsigned char>(text[k]));
    wide[k] = 0;
}

// Renders one event as XML and converts it to the ANSI code page, bounded. False when it
// cannot be rendered within kMaxRenderBytes or converted.
bool RenderEvent(const EventLogApi& api, EVT_HANDLE event, std::vector<char>* xml) {
    std::vector<BYTE> buffer(kFirstRenderBytes);
    DWORD used = 0, properties = 0;
    if (!api.render(NULL, event, EvtRenderEventXml, static_cast<DWORD>(buffer.size()),
                    buffer.data(), &used, &properties)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || used > kMaxRenderBytes ||
            used <= buffer.size())
            return false;
        buffer.assign(used, 0);
        if (!api.render(NULL, event, EvtRenderEventXml, static_cast<DWORD>(buffer.size()),
                        buffer.data(), &used, &properties))
            return false;
    }
    if (used > buffer.size()) return false;
    // The rendering is UTF-16 with its terminator; the count of units is what it used.
    int units = static_cast<int>(used / sizeof(WCHAR));
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(buffer.data());
    while (units > 0 && wide[units - 1] == 0) --units;
    if (units == 0) return false;
    // A unit becomes at most two bytes in a double-byte code page.
    xml->assign(static_cast<size_t>(units) * 2 + 1, 0);
    int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, wide, units, xml->data(),
                                    static_cast<int>(xml->size() - 1), NULL, NULL);
    if (bytes <= 0) return false;
    xml->resize(static_cast<size_t>(bytes));
    return true;
}

// Reads the query's events, newest first, until one names the device.
bool FindInResults(const EventLogApi& api, EVT_HANDLE results, const char* deviceInstanceId,
                   VetoOwner* owner) {
    std::vector<char> xml;
    RemovalVetoEvent event;
    DWORD read = 0;
    bool found = false;
    while (!found && read < kMaxVetoEventsRead) {
        EVT_HANDLE events[kEventsPerRequest];
        DWORD wanted = kMaxVetoEventsRead - read;
        if (wanted > kEventsPerRequest) wanted = kEventsPerRequest;
        DWORD returned = 0;
        // No more events, a time-out or a failure all end the search.
        if (!api.next(results, wanted, events, kRequestTimeoutMs, 0, &returned)) break;
        if (returned > wanted) returned = wanted;
        if (returned == 0) break;
        read += returned;
        for (DWORD k = 0; k < returned; ++k) {
            if (!found && RenderEvent(api, events[k], &xml) &&
                ParseRemovalVetoEvent(xml.data(), xml.size(), &event) &&
                IsRemovalVetoOf(event, deviceInstanceId)) {
                const char* program = ProgramOfProcessName(event.processName);
                // A file name is at most 255 characters; a longer one is not cut to another.
                if (program[0] != 0 && std::strlen(program) < sizeof owner->program) {
                    std::snprintf(owner->program, sizeof owner->program, "%s", program);
                    // The name is printed on one console line.
                    for (char* c = owner->program; *c != 0; ++c)
                        if (static_cast<unsigned char>(*c) < 0x20) *c = '?';
                    owner->processId = event.processId;
                    found = true;
                }
            }
            api.close(events[k]);
        }
    }
    return found;
}

// The event log library by its full path in the system directory: the tool runs from
// removable media and from the temporary folder, where anyone could leave a library of the
// same name for a bare name to find first.
HMODULE LoadEventLogLibrary() {
    const char name[] = "\\wevtapi.dll";
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n + sizeof name > MAX_PATH) return NULL;
    std::memcpy(path + n, name, sizeof name);
    return LoadLibraryA(path);
}

}  // namespace

bool FindVetoOwner(const char* deviceInstanceId, VetoOwner* owner) {
    std::memset(owner, 0, sizeof *owner);
    if (deviceInstanceId == NULL || deviceInstanceId[0] == 0) return false;

    HMODULE library = LoadEventLogLibrary();
    if (library == NULL) return false;
    EventLogApi api;
    bool found = false;
    if (LookUp(library, &api)) {
        char narrowQuery[kQueryChars];
        std::snprintf(narrowQuery, sizeof narrowQuery, kVetoQueryFormat, RemovalVetoProvider,
                      static_cast<unsigned long>(kRemovalVetoEventId),
                      static_cast<unsigned long>(kVetoLookbackMs));
        WCHAR channel[sizeof kLogChannel];
        WCHAR query[kQueryChars];
        WidenAscii(kLogChannel, channel);
        WidenAscii(narrowQuery, query);
        EVT_HANDLE results =
            api.query(NULL, channel, query, EvtQueryChannelPath | EvtQueryReverseDirection);
        if (results != NULL) {
            found = FindInResults(api, results, deviceInstanceId, owner);
            api.close(results);
        }
    }
    FreeLibrary(library);
    if (!found) std::memset(owner, 0, sizeof *owner);
    return found;
}

void PrintVetoOwnerLine(const VetoOwner& owner, char driveLetter) {
    if (owner.processId == kSystemProcessId)
        ConsolePrint("Windows itself (process %lu) holds drive %c:.\n",
                     static_cast<unsigned long>(owner.processId), driveLetter);
    else
        ConsolePrint("Close %s (process %lu) and try again.\n", owner.program,
                     static_cast<unsigned long>(owner.processId));
}
