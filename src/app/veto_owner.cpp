#include "app/veto_owner.h"

#include "app/console.h"
#include "app/veto_event.h"
#include "sdk/system/system_library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The process id Windows gives its own System process.
const DWORD kSystemProcessId = 4;

const char kLogChannel[] = "System";
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

// What this file uses of the event log functions of wevtapi.dll (Windows Vista and later),
// declared here: the system header declares them only for programs built for Vista, and
// this one is built for XP, where the library is missing and the lookup finds nothing.
typedef HANDLE EventHandle;                  // EVT_HANDLE
const DWORD kQueryChannelPath = 0x1;         // EvtQueryChannelPath
const DWORD kQueryReverseDirection = 0x200;  // EvtQueryReverseDirection
const DWORD kRenderEventXml = 1;             // EvtRenderEventXml

typedef EventHandle(WINAPI* EvtQueryFn)(EventHandle, LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI* EvtNextFn)(EventHandle, DWORD, EventHandle*, DWORD, DWORD, PDWORD);
typedef BOOL(WINAPI* EvtRenderFn)(EventHandle, EventHandle, DWORD, DWORD, PVOID, PDWORD, PDWORD);
typedef BOOL(WINAPI* EvtCloseFn)(EventHandle);

struct EventLogApi {
    EvtQueryFn query;
    EvtNextFn next;
    EvtRenderFn render;
    EvtCloseFn close;
};

bool LookUp(HMODULE library, EventLogApi* api) {
    api->query = EntryPoint<EvtQueryFn>(library, "EvtQuery");
    api->next = EntryPoint<EvtNextFn>(library, "EvtNext");
    api->render = EntryPoint<EvtRenderFn>(library, "EvtRender");
    api->close = EntryPoint<EvtCloseFn>(library, "EvtClose");
    return api->query && api->next && api->render && api->close;
}

// Where an event is rendered and converted: the rendering, at most kMaxRenderBytes, and
// its UTF-8 form, at most three bytes a UTF-16 unit, and a terminator.
struct RenderSpace {
    BYTE rendered[kMaxRenderBytes];
    char xml[kMaxRenderBytes / sizeof(WCHAR) * 3 + 1];
};

// Renders one event as XML and converts it to UTF-8, which keeps every character of the
// names, bounded; the text is space->xml, its length *length. False when it cannot be
// rendered within kMaxRenderBytes or converted.
bool RenderEvent(const EventLogApi& api, EventHandle event, RenderSpace* space, size_t* length) {
    DWORD used = 0, properties = 0;
    DWORD offered = kFirstRenderBytes;
    if (!api.render(NULL, event, kRenderEventXml, offered, space->rendered, &used, &properties)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || used > kMaxRenderBytes ||
            used <= offered)
            return false;
        std::memset(space->rendered, 0, used);
        offered = used;
        if (!api.render(NULL, event, kRenderEventXml, offered, space->rendered, &used, &properties))
            return false;
    }
    if (used > offered) return false;
    // The rendering is UTF-16 with its terminator; the count of units is what it used.
    int units = static_cast<int>(used / sizeof(WCHAR));
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(space->rendered);
    while (units > 0 && wide[units - 1] == 0) --units;
    if (units == 0) return false;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, space->xml, units * 3, NULL, NULL);
    if (bytes <= 0) return false;
    space->xml[bytes] = 0;
    *length = static_cast<size_t>(bytes);
    return true;
}

// The program of a record in `owner`: the last component of its image path, taken on the
// UTF-16 text. False for a path without one, or with one longer than a file name can be
// (a name cut short would name another program).
bool TakeProgram(const RemovalVetoEvent& event, VetoOwner* owner) {
    WCHAR path[kMaxVetoProcessName + 1];
    if (MultiByteToWideChar(CP_UTF8, 0, event.processName, -1, path, kMaxVetoProcessName + 1) <= 0)
        return false;
    path[kMaxVetoProcessName] = 0;
    const WCHAR* program = ProgramOfProcessName(path);
    size_t length = 0;
    while (program[length] != 0) ++length;
    if (length == 0 || length >= MAX_PATH) return false;
    std::memcpy(owner->program, program, (length + 1) * sizeof(WCHAR));
    owner->processId = event.processId;
    return true;
}

// Reads the query's events, newest first, until one names the device.
bool FindInResults(const EventLogApi& api, EventHandle results, const char* deviceInstanceId,
                   RenderSpace* space, VetoOwner* owner) {
    RemovalVetoEvent event;
    size_t length = 0;
    DWORD read = 0;
    bool found = false;
    while (!found && read < kMaxVetoEventsRead) {
        EventHandle events[kEventsPerRequest];
        DWORD wanted = kMaxVetoEventsRead - read;
        if (wanted > kEventsPerRequest) wanted = kEventsPerRequest;
        DWORD returned = 0;
        // No more events, a time-out or a failure all end the search.
        if (!api.next(results, wanted, events, kRequestTimeoutMs, 0, &returned)) break;
        if (returned > wanted) returned = wanted;
        if (returned == 0) break;
        read += returned;
        for (DWORD k = 0; k < returned; ++k) {
            if (!found && RenderEvent(api, events[k], space, &length) &&
                ParseRemovalVetoEvent(space->xml, length, &event) &&
                IsRemovalVetoOf(event, deviceInstanceId))
                found = TakeProgram(event, owner);
            api.close(events[k]);
        }
    }
    return found;
}

}  // namespace

bool FindVetoOwner(const char* deviceInstanceId, DWORD writtenWithinMs, VetoOwner* owner) {
    std::memset(owner, 0, sizeof *owner);
    if (deviceInstanceId == NULL || deviceInstanceId[0] == 0) return false;

    HMODULE library = LoadSystemLibrary("wevtapi.dll");
    if (library == NULL) return false;
    EventLogApi api;
    bool found = false;
    if (LookUp(library, &api)) {
        char narrowQuery[kQueryChars];
        std::snprintf(narrowQuery, sizeof narrowQuery, kVetoQueryFormat, RemovalVetoProvider,
                      static_cast<unsigned long>(kRemovalVetoEventId),
                      static_cast<unsigned long>(writtenWithinMs));
        WCHAR channel[sizeof kLogChannel];
        WCHAR query[kQueryChars];
        WidenAscii(kLogChannel, channel, sizeof kLogChannel);
        WidenAscii(narrowQuery, query, kQueryChars);
        EventHandle results =
            api.query(NULL, channel, query, kQueryChannelPath | kQueryReverseDirection);
        RenderSpace* space = static_cast<RenderSpace*>(std::malloc(sizeof(RenderSpace)));
        if (results != NULL && space != NULL)
            found = FindInResults(api, results, deviceInstanceId, space, owner);
        std::free(space);
        if (results != NULL) api.close(results);
    }
    FreeLibrary(library);
    if (!found) std::memset(owner, 0, sizeof *owner);
    return found;
}

void PrintVetoOwnerLine(const VetoOwner& owner, char driveLetter) {
    if (owner.processId == kSystemProcessId) {
        ConsolePrint("Windows itself (process %lu) holds drive %c:.\n",
                     static_cast<unsigned long>(owner.processId), driveLetter);
        return;
    }
    ConsolePrintText(owner.program, "Close " UTF16_TEXT " (process %lu) and try again.\n",
                     static_cast<unsigned long>(owner.processId));
}
