// The event log service of the simulated machine. A query of the System log takes the
// records its XPath filter admits (provider name, event id, and the age of the record by
// timediff(@SystemTime) against the virtual clock), oldest or newest first; each record
// handed out is a handle of its own, rendered as Windows renders an event's XML.
#include "event_log.h"

#include "sim/code_pages.h"
#include "sim/fault.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using sim::Fail;
using sim::machine;
using sim::ObjectKind;
using sim::OpenObject;

namespace sim {

const char kEventLogLibrary[] = "wevtapi.dll";

namespace {

const char kQueryObject[] = "event log query";
const char kEventObject[] = "event log record";

// The filter of a query, as far as the simulated service reads XPath.
struct EventFilter {
    std::string provider;  // empty: any
    long long eventId = -1;
    long long maxAgeMs = -1;
};

// Reads the filters of "*" or "*[System[...]]"; false for anything it cannot read.
bool ParseQuery(const std::string& query, EventFilter* filter) {
    if (query == "*") return true;
    if (query.compare(0, 9, "*[System[") != 0) return false;
    int depth = 0;
    for (char c : query) {
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        if (depth < 0) return false;
    }
    if (depth != 0) return false;
    auto numberAfter = [&](const std::string& key, long long* out) {
        size_t at = query.find(key);
        if (at == std::string::npos) return true;
        at += key.size();
        while (at < query.size() && query[at] == ' ') ++at;
        size_t end = at;
        while (end < query.size() && query[end] >= '0' && query[end] <= '9') ++end;
        if (end == at || end - at > 12) return false;
        *out = std::stoll(query.substr(at, end - at));
        return true;
    };
    const std::string providerKey = "Provider[@Name='";
    size_t at = query.find(providerKey);
    if (at != std::string::npos) {
        size_t end = query.find('\'', at + providerKey.size());
        if (end == std::string::npos) return false;
        filter->provider = query.substr(at + providerKey.size(), end - at - providerKey.size());
    }
    return numberAfter("EventID=", &filter->eventId) &&
           numberAfter("timediff(@SystemTime) <=", &filter->maxAgeMs);
}

bool Admits(const EventFilter& filter, const EventRecord& record, uint64_t now) {
    // A record the clock has not reached yet is not written yet.
    if (record.atMs > static_cast<int64_t>(now)) return false;
    if (!filter.provider.empty() && !EqualNoCase(filter.provider, record.provider)) return false;
    if (filter.eventId >= 0 && filter.eventId != record.eventId) return false;
    if (filter.maxAgeMs >= 0 && static_cast<int64_t>(now) - record.atMs > filter.maxAgeMs)
        return false;
    return true;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\'': out += "&apos;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// Days since 1970-01-01 to year, month and day (the proleptic Gregorian calendar).
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

std::string SystemTimeAt(int64_t clockMs) {
    // The virtual clock's zero is 2026-01-05 10:00:00 UTC (20458 days after 1970-01-01).
    const int64_t kStartMs = (20458LL * 86400 + 10 * 3600) * 1000;
    int64_t ms = kStartMs + clockMs;
    int64_t days = ms / 86400000, rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    int year, month, day;
    CivilFromDays(days, &year, &month, &day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d0000Z", year, month, day,
                  static_cast<int>(rest / 3600000), static_cast<int>(rest / 60000 % 60),
                  static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000));
    return text;
}

namespace {

// A text's length as Windows writes it: in UTF-16 units.
std::string Units(const std::string& utf8) { return std::to_string(FromUtf8(utf8).size()); }

}  // namespace

EventRecord RemovalVetoRecord(DWORD processId, const std::string& processName,
                              const std::string& deviceInstanceId, const std::string& commandLine,
                              int64_t atMs) {
    EventRecord record;
    record.atMs = atMs;
    record.data = {{"ProcessId", std::to_string(processId)},
                   {"ProcessNameLength", Units(processName)},
                   {"ProcessName", processName},
                   {"DeviceInstanceIdLength", Units(deviceInstanceId)},
                   {"DeviceInstanceId", deviceInstanceId},
                   {"ProcessCommandLineLength", Units(commandLine)},
                   {"ProcessCommandLine", commandLine},
                   {"AffectedDeviceCount", "0"}};
    return record;
}

std::string RenderEventXml(const Machine& m, size_t index) {
    const EventRecord& r = m.eventLog.system[index];
    bool pnp = r.provider == "Microsoft-Windows-Kernel-PnP";
    std::string xml = "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'>";
    xml += "<System><Provider Name='" + Escape(r.provider) + "'";
    if (pnp) xml += " Guid='{9c205a39-1250-487d-abd7-e831c6290539}'";
    xml += "/><EventID>" + std::to_string(r.eventId) + "</EventID><Version>0</Version>";
    xml += pnp ? "<Level>3</Level><Task>223</Task>" : "<Level>4</Level><Task>0</Task>";
    xml += "<Opcode>0</Opcode><Keywords>0x8000000000000000</Keywords>";
    xml += "<TimeCreated SystemTime='" + SystemTimeAt(r.atMs) + "'/>";
    xml += "<EventRecordID>" + std::to_string(index + 1) + "</EventRecordID><Correlation/>";
    xml += "<Execution ProcessID='4' ThreadID='52'/><Channel>System</Channel>";
    xml += "<Computer>SIMULATED-PC</Computer><Security UserID='S-1-5-18'/></System>";
    if (r.data.empty()) return xml + "<EventData/></Event>";
    xml += "<EventData>";
    for (const auto& field : r.data) {
        xml += "<Data Name='" + Escape(field.first) + "'";
        xml += field.second.empty() ? "/>" : ">" + Escape(field.second) + "</Data>";
    }
    return xml + "</EventData></Event>";
}

FARPROC EventLogProc(const std::string& name) {
    if (machine().eventLog.missingEntries.count(name)) return nullptr;
    void (*proc)(void) = nullptr;
    if (name == "EvtQuery")
        proc = reinterpret_cast<void (*)(void)>(&EvtQuery);
    else if (name == "EvtNext")
        proc = reinterpret_cast<void (*)(void)>(&EvtNext);
    else if (name == "EvtRender")
        proc = reinterpret_cast<void (*)(void)>(&EvtRender);
    else if (name == "EvtClose")
        proc = reinterpret_cast<void (*)(void)>(&EvtClose);
    return reinterpret_cast<FARPROC>(proc);
}

}  // namespace sim

namespace {

OpenObject* EventLogObject(EVT_HANDLE h, const char* name) {
    OpenObject* object = machine().Lookup(h, ObjectKind::EventLogHandle);
    return object != nullptr && object->name == name ? object : nullptr;
}

}  // namespace

EVT_HANDLE WINAPI EvtQuery(EVT_HANDLE Session, LPCWSTR Path, LPCWSTR Query, DWORD Flags) {
    if (sim::FaultHere("EvtQuery")) return Fail(ERROR_ACCESS_DENIED, EVT_HANDLE(nullptr));
    sim::Machine& m = machine();
    std::string path = Path ? sim::Narrow(Path) : "";
    std::string query = Query ? sim::Narrow(Query) : "*";
    m.journal.Note("event log query " + path + " " + query);
    if (Session != nullptr || (Flags & (EvtQueryChannelPath | EvtQueryFilePath)) == 0)
        return Fail(ERROR_INVALID_PARAMETER, EVT_HANDLE(nullptr));
    if ((Flags & EvtQueryFilePath) || !sim::EqualNoCase(path, "System"))
        return Fail(ERROR_EVT_CHANNEL_NOT_FOUND, EVT_HANDLE(nullptr));
    if (m.eventLog.queryError != 0) return Fail(m.eventLog.queryError, EVT_HANDLE(nullptr));
    sim::EventFilter filter;
    if (!sim::ParseQuery(query, &filter)) return Fail(ERROR_EVT_INVALID_QUERY, EVT_HANDLE(nullptr));

    OpenObject results(ObjectKind::EventLogHandle, sim::kQueryObject);
    for (size_t k = 0; k < m.eventLog.system.size(); ++k)
        if (sim::Admits(filter, m.eventLog.system[k], m.clockMs)) results.records.push_back(k);
    // The log is in the order records were written, which is the order of their times.
    std::stable_sort(results.records.begin(), results.records.end(), [&](size_t a, size_t b) {
        return m.eventLog.system[a].atMs < m.eventLog.system[b].atMs;
    });
    if (Flags & EvtQueryReverseDirection)
        std::reverse(results.records.begin(), results.records.end());
    return m.Open(std::move(results));
}

BOOL WINAPI EvtNext(EVT_HANDLE ResultSet, DWORD EventsSize, PEVT_HANDLE Events, DWORD, DWORD Flags,
                    PDWORD Returned) {
    if (sim::FaultHere("EvtNext")) return Fail(ERROR_TIMEOUT, FALSE);
    sim::Machine& m = machine();
    OpenObject* results = EventLogObject(ResultSet, sim::kQueryObject);
    if (results == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (Events == nullptr || Returned == nullptr || EventsSize == 0 || Flags != 0)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *Returned = 0;
    if (results->nextRecord >= results->records.size()) return Fail(ERROR_NO_MORE_ITEMS, FALSE);
    std::vector<size_t> handedOut;
    while (handedOut.size() < EventsSize && results->nextRecord < results->records.size())
        handedOut.push_back(results->records[results->nextRecord++]);
    // Opening objects may move the query's own record: it is not used past this point.
    for (size_t index : handedOut) {
        OpenObject event(ObjectKind::EventLogHandle, sim::kEventObject);
        event.records.push_back(index);
        Events[(*Returned)++] = m.Open(std::move(event));
    }
    return TRUE;
}

BOOL WINAPI EvtRender(EVT_HANDLE Context, EVT_HANDLE Fragment, DWORD Flags, DWORD BufferSize,
                      PVOID Buffer, PDWORD BufferUsed, PDWORD PropertyCount) {
    if (sim::FaultHere("EvtRender")) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    sim::Machine& m = machine();
    OpenObject* event = EventLogObject(Fragment, sim::kEventObject);
    if (event == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (Context != nullptr || Flags != EvtRenderEventXml || BufferUsed == nullptr ||
        PropertyCount == nullptr || (Buffer == nullptr && BufferSize != 0))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    size_t index = event->records[0];
    m.journal.Note("event log render " + std::to_string(index + 1));
    if (m.eventLog.renderError != 0) return Fail(m.eventLog.renderError, FALSE);
    std::u16string xml = sim::FromUtf8(sim::RenderEventXml(m, index));
    DWORD need = static_cast<DWORD>((xml.size() + 1) * sizeof(WCHAR));
    *BufferUsed = need;
    *PropertyCount = 0;
    if (BufferSize < need) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(Buffer, xml.c_str(), need);
    return TRUE;
}

// A release: it does not fail on a handle the program holds, so it asks no fault plan.
BOOL WINAPI EvtClose(EVT_HANDLE Object) {
    if (!machine().Close(Object, ObjectKind::EventLogHandle))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}
