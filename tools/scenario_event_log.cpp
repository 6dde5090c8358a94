// A scenario's event log: the service and the System log's records.
#include "tools/scenario_fields.h"
#include "tools/scenario_sections.h"

#include "sim/event_log.h"

#include <vector>

using nlohmann::json;

namespace scenario {

// The event log service and the System log's records, oldest first.
void ApplyEventLog(const json& s, sim::Machine& m) {
    if (!s.contains("eventLog")) return;
    const json& e = s.at("eventLog");
    OnlyKeys(e, "eventLog", {"installed", "missingEntries", "queryError", "renderError", "system"});
    LibraryFields(e, "eventLog", &m.eventLog.installed, &m.eventLog.missingEntries);
    m.eventLog.queryError = Get<DWORD>(e, "queryError", "eventLog", 0);
    m.eventLog.renderError = Get<DWORD>(e, "renderError", "eventLog", 0);
    Each(e, "system", [&](const json& r, const std::string& w0) {
        std::string w = "eventLog." + w0;
        OnlyKeys(r, w,
                 {"provider", "eventId", "atMs", "processId", "processName", "deviceInstanceId",
                  "commandLine", "data"});
        sim::EventRecord record;
        if (r.contains("data")) {
            if (r.contains("processId") || r.contains("processName") ||
                r.contains("deviceInstanceId") || r.contains("commandLine"))
                Bad(w, "expected either \"data\" or the fields of a vetoed removal");
            Each(r, "data", [&](const json& f, const std::string& w1) {
                OnlyKeys(f, w + "." + w1, {"name", "text"});
                record.data.emplace_back(Get<std::string>(f, "name", w + "." + w1, ""),
                                         Get<std::string>(f, "text", w + "." + w1, ""));
            });
        } else {
            record = sim::RemovalVetoRecord(Get<DWORD>(r, "processId", w, 0),
                                            Get<std::string>(r, "processName", w, ""),
                                            Get<std::string>(r, "deviceInstanceId", w, ""),
                                            Get<std::string>(r, "commandLine", w, ""));
        }
        record.provider = Get<std::string>(r, "provider", w, record.provider);
        record.eventId = Get<DWORD>(r, "eventId", w, record.eventId);
        record.atMs = Get<int64_t>(r, "atMs", w, 0);
        m.eventLog.system.push_back(record);
    });
}

}  // namespace scenario
