// A scenario's Windows 9x world: the legacy units of the configuration manager's registry,
// the ASPI library and its host adapters, and the \\.\vwin32 device.
#include "tools/scenario_fields.h"
#include "tools/scenario_sections.h"

#include "sim/builders.h"

#include <tuple>
#include <vector>

using nlohmann::json;

namespace scenario {
namespace {

void ApplyAspi(const json& a, sim::Machine& m) {
    OnlyKeys(a, "aspi", {"installed", "missingEntries", "supportStatus", "abortWorks", "adapters"});
    LibraryFields(a, "aspi", &m.aspi.installed, &m.aspi.missingEntries);
    m.aspi.supportStatus = Get<BYTE>(a, "supportStatus", "aspi", m.aspi.supportStatus);
    m.aspi.abortWorks = Get<bool>(a, "abortWorks", "aspi", true);
    Each(a, "adapters", [&](const json& h, const std::string& w0) {
        std::string w = "aspi." + w0;
        OnlyKeys(h, w, {"scsiTarget", "completion", "latencyMs"});
        sim::HostAdapter adapter;
        if (h.contains("scsiTarget"))
            adapter.target = Target(h.at("scsiTarget"), w + ".scsiTarget");
        adapter.completion =
            ByName<sim::AspiCompletion>(Get<std::string>(h, "completion", w, "atOnce"),
                                        {{"atOnce", sim::AspiCompletion::AtOnce},
                                         {"later", sim::AspiCompletion::Later},
                                         {"never", sim::AspiCompletion::Never}},
                                        w + ".completion");
        adapter.latencyMs = Get<DWORD>(h, "latencyMs", w, 0);
        m.aspi.adapters.push_back(adapter);
    });
}

void ApplyVwin32(const json& v, sim::Machine& m) {
    OnlyKeys(v, "vwin32", {"present", "category48", "callsFail", "refused"});
    m.vwin32.present = Get<bool>(v, "present", "vwin32", true);
    m.vwin32.category48 = Get<bool>(v, "category48", "vwin32", true);
    m.vwin32.callsFail = Get<bool>(v, "callsFail", "vwin32", false);
    Each(v, "refused", [&](const json& r, const std::string& w0) {
        std::string w = "vwin32." + w0;
        OnlyKeys(r, w, {"letter", "category", "call"});
        BYTE category = ByName<BYTE>(Get<std::string>(r, "category", w, ""),
                                     {{"48h", 0x48}, {"08h", 0x08}}, w + ".category");
        BYTE call = ByName<BYTE>(Get<std::string>(r, "call", w, ""),
                                 {{"lock", 0x4A}, {"unlock", 0x6A}}, w + ".call");
        m.vwin32.refused.insert(std::make_tuple(Letter(r, w), category, call));
    });
}

}  // namespace

void ApplyLegacy(const json& s, sim::Machine& m) {
    Each(s, "legacyUnits", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"node", "hardwareKey", "class", "letter", "lun", "target"});
        sim::AddLegacyUnit(m, Get<std::string>(d, "node", w, ""),
                           Get<std::string>(d, "hardwareKey", w, ""),
                           Get<std::string>(d, "class", w, "DiskDrive"), Letter(d, w),
                           Get<int>(d, "lun", w, 0), Get<int>(d, "target", w, 0));
    });
    if (s.contains("aspi")) ApplyAspi(s.at("aspi"), m);
    if (s.contains("vwin32")) ApplyVwin32(s.at("vwin32"), m);
}

}  // namespace scenario
