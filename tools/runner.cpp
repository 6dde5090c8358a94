#include "tools/runner.h"

#include "app/korvanta_main.h"
#include "sdk/scan/controller_scan.h"
#include "sdk/device/device_table.h"
#include "tools/scenario.h"
#include "tools/sdk_calls.h"

#include <cstring>
#include <stdexcept>

using nlohmann::json;

namespace scenario {

namespace {

json DeviceTable() {
    json table = json::array();
    static const SMIDiskInfo kEmpty = {};
    for (int i = 0; i < kMaxSMIDisks; ++i) {
        const SMIDiskInfo& r = SMIDiskTable[i];
        if (std::memcmp(&r, &kEmpty, sizeof r) == 0) continue;
        table.push_back(
            {{"index", i},
             // A record may carry the byte 0xFF where no letter was found.
             {"driveLetter", r.driveLetter >= 'A' && r.driveLetter <= 'Z'
                                 ? json(std::string(1, r.driveLetter))
                                 : json(static_cast<BYTE>(r.driveLetter))},
             {"haId", r.haId},
             {"targetId", r.targetId},
             {"lun", r.lun},
             {"isCdrom", r.isCdrom},
             {"hasAspiModule", r.aspiModule != NULL && r.aspiModule != NoAspiModule()}});
    }
    return table;
}

}  // namespace

std::string RunKind(const json& s) {
    std::string kind = s.contains("run") ? s.at("run").get<std::string>() : "tool";
    if (kind != "tool" && kind != "scan" && kind != "sdk")
        throw std::runtime_error("run: expected tool, scan or sdk");
    return kind;
}

json Run(const std::string& kind, sim::Machine& m, const json& calls) {
    json report;
    if (kind == "sdk") {
        json results = RunSdkCalls(calls);
        report = Report(m, 0);
        report["calls"] = results;
        report["currentModelCode"] = CurrentModelCode;
    } else if (kind == "scan") {
        int count = ScanSMIDisks();
        report = Report(m, 0);
        report["scanCount"] = count;
        report["useAspi"] = UseASPI;
        report["currentModelCode"] = CurrentModelCode;
    } else {
        report = Report(m, KorvantaMain());
    }
    report["deviceTable"] = DeviceTable();
    return report;
}

}  // namespace scenario
