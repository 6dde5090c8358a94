#include "tools/scenario.h"

#include "sim/builders.h"
#include "sim/byte_image.h"
#include "sim/controller_profiles.h"
#include "sim/event_log.h"
#include "sim/smi_controller.h"

#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

using nlohmann::json;

namespace scenario {
namespace {

[[noreturn]] void Bad(const std::string& where, const std::string& why) {
    throw std::runtime_error(where + ": " + why);
}

// Rejects keys the format does not know, so that a misspelt field is an error rather than
// a silently different machine.
void OnlyKeys(const json& object, const std::string& where, std::set<std::string> allowed) {
    if (!object.is_object()) Bad(where, "expected an object");
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!allowed.count(it.key())) Bad(where, "unknown field \"" + it.key() + "\"");
}

template <typename T>
T Get(const json& object, const char* key, const std::string& where, T fallback) {
    if (!object.contains(key)) return fallback;
    try {
        return object.at(key).get<T>();
    } catch (const json::exception&) {
        Bad(where + "." + key, "wrong type");
    }
}

template <typename F>
void Each(const json& scenario, const char* key, F apply) {
    if (!scenario.contains(key)) return;
    const json& list = scenario.at(key);
    if (!list.is_array()) Bad(key, "expected a list");
    for (size_t k = 0; k < list.size(); ++k)
        apply(list[k], std::string(key) + "[" + std::to_string(k) + "]");
}

// The value a field's name stands for, from a table of the names it may take.
template <typename T>
T ByName(const std::string& name, std::initializer_list<std::pair<const char*, T>> table,
         const std::string& where) {
    std::string names;
    for (const auto& entry : table) {
        if (name == entry.first) return entry.second;
        names += (names.empty() ? "" : ", ") + std::string(entry.first);
    }
    Bad(where, "\"" + name + "\" is not one of " + names);
}

char Letter(const json& object, const std::string& where) {
    std::string s = Get<std::string>(object, "letter", where, "");
    if (s.size() != 1 || s[0] < 'A' || s[0] > 'Z')
        Bad(where + ".letter", "expected one letter A-Z");
    return s[0];
}

UINT DriveType(const std::string& name, const std::string& where) {
    return ByName<UINT>(name,
                        {{"unknown", DRIVE_UNKNOWN},
                         {"removable", DRIVE_REMOVABLE},
                         {"fixed", DRIVE_FIXED},
                         {"remote", DRIVE_REMOTE},
                         {"cdrom", DRIVE_CDROM},
                         {"ramdisk", DRIVE_RAMDISK}},
                        where);
}

// A device number, or null for a device that refuses the device-number query.
void DeviceNumber(const json& object, const std::string& where, bool* has, DWORD* number) {
    if (!object.contains("deviceNumber")) return;
    const json& v = object.at("deviceNumber");
    if (v.is_null()) {
        *has = false;
    } else if (v.is_number_unsigned()) {
        *has = true;
        *number = v.get<DWORD>();
    } else {
        Bad(where + ".deviceNumber", "expected a number or null");
    }
}

std::vector<sim::EjectAnswer> EjectAnswers(const json& list, const std::string& where) {
    std::vector<sim::EjectAnswer> answers;
    if (!list.is_array()) Bad(where, "expected a list");
    for (size_t k = 0; k < list.size(); ++k) {
        std::string w = where + "[" + std::to_string(k) + "]";
        OnlyKeys(list[k], w, {"result", "vetoType", "vetoName"});
        sim::EjectAnswer a;
        a.result = Get<CONFIGRET>(list[k], "result", w, CR_SUCCESS);
        // Only the veto types the Plug and Play manager has: another number is no value of
        // the enumeration at all.
        int vetoType = Get<int>(list[k], "vetoType", w, 0);
        if (vetoType < PNP_VetoTypeUnknown || vetoType > PNP_VetoInsufficientRights)
            Bad(w + ".vetoType", "not a veto type (0 to 12)");
        a.vetoType = static_cast<PNP_VETO_TYPE>(vetoType);
        a.vetoName = sim::Widen(Get<std::string>(list[k], "vetoName", w, ""));
        answers.push_back(a);
    }
    return answers;
}

void ApplyAccount(const json& a, sim::Machine& m) {
    OnlyKeys(a, "account", {"userName", "privilege", "lookup"});
    m.account.userName = Get<std::string>(a, "userName", "account", m.account.userName);
    m.account.privilege = ByName<DWORD>(
        Get<std::string>(a, "privilege", "account", "user"),
        {{"guest", USER_PRIV_GUEST}, {"user", USER_PRIV_USER}, {"admin", USER_PRIV_ADMIN}},
        "account.privilege");
    if (a.contains("lookup")) {
        const json& lookup = a.at("lookup");
        if (lookup.is_number_unsigned())
            m.account.lookupStatus = lookup.get<DWORD>();
        else
            m.account.lookupStatus =
                ByName<NET_API_STATUS>(Get<std::string>(a, "lookup", "account", ""),
                                       {{"ok", NERR_Success},
                                        {"accessDenied", ERROR_ACCESS_DENIED},
                                        {"notFound", NERR_UserNotFound}},
                                       "account.lookup");
    }
}

// A device node property: a string, or null for a node that lacks it.
void NodeName(const json& object, const char* key, const std::string& where,
              std::optional<std::string>* out) {
    if (!object.contains(key)) return;
    const json& v = object.at(key);
    if (v.is_null())
        out->reset();
    else if (v.is_string())
        *out = v.get<std::string>();
    else
        Bad(where + "." + key, "expected a string or null");
}

void ApplyProcess(const json& p, sim::Machine& m) {
    OnlyKeys(p, "process",
             {"moduleHandle", "consoleStartup", "commandLine", "mutex", "moduleFileName",
              "fileVersion", "id", "currentDirectory", "systemDirectory", "tempPath", "copyError",
              "createProcessError"});
    m.process.moduleHandleAvailable = Get<bool>(p, "moduleHandle", "process", true);
    m.process.consoleControlAvailable = Get<bool>(p, "consoleStartup", "process", true);
    m.process.commandLine = Get<std::string>(p, "commandLine", "process", m.process.commandLine);
    m.process.moduleFileName =
        Get<std::string>(p, "moduleFileName", "process", m.process.moduleFileName);
    if (p.contains("fileVersion"))
        m.process.fileVersion =
            p.at("fileVersion").is_null() ? "" : Get<std::string>(p, "fileVersion", "process", "");
    m.process.id = Get<DWORD>(p, "id", "process", m.process.id);
    m.process.currentDirectory =
        Get<std::string>(p, "currentDirectory", "process", m.process.currentDirectory);
    m.process.systemDirectory =
        Get<std::string>(p, "systemDirectory", "process", m.process.systemDirectory);
    m.process.tempPath = Get<std::string>(p, "tempPath", "process", m.process.tempPath);
    m.process.copyError = Get<DWORD>(p, "copyError", "process", 0);
    m.process.createProcessError = Get<DWORD>(p, "createProcessError", "process", 0);
    enum Mutex { kFree, kHeldElsewhere, kFails };
    Mutex mutex = ByName<Mutex>(
        Get<std::string>(p, "mutex", "process", "free"),
        {{"free", kFree}, {"heldElsewhere", kHeldElsewhere}, {"fails", kFails}}, "process.mutex");
    if (mutex == kHeldElsewhere) m.process.mutexesHeldElsewhere.insert("Korvanta");
    m.process.mutexCreationFails = mutex == kFails;
}

std::vector<BYTE> HexBytes(const json& object, const char* key, const std::string& where) {
    std::vector<BYTE> bytes;
    if (!sim::ParseHexBytes(Get<std::string>(object, key, where, ""), &bytes))
        Bad(where + "." + key, "expected hex bytes such as \"12 00 24\"");
    return bytes;
}

// A byte image: hex bytes ("12 00 24"), or {"size", "fill", "patches"} with each patch
// {"at", "hex"} or {"at", "ascii"}. Without "size" the patches go over `base`.
std::vector<BYTE> ByteImage(const json& v, const std::string& where,
                            const std::vector<BYTE>& base = {}) {
    if (v.is_string()) {
        std::vector<BYTE> bytes;
        if (!sim::ParseHexBytes(v.get<std::string>(), &bytes))
            Bad(where, "expected hex bytes such as \"12 00 24\"");
        return bytes;
    }
    OnlyKeys(v, where, {"size", "fill", "patches"});
    size_t size = Get<size_t>(v, "size", where, base.size());
    if (size > sim::kMaxByteImage) Bad(where + ".size", "at most 1 MiB");
    std::vector<sim::BytePatch> patches;
    Each(v, "patches", [&](const json& p, const std::string& w0) {
        std::string w = where + "." + w0;
        OnlyKeys(p, w, {"at", "hex", "ascii"});
        if (!p.contains("at") || p.contains("hex") == p.contains("ascii"))
            Bad(w, "expected \"at\" and one of \"hex\", \"ascii\"");
        size_t at = Get<size_t>(p, "at", w, 0);
        sim::BytePatch patch = p.contains("ascii")
                                   ? sim::TextAt(at, Get<std::string>(p, "ascii", w, ""))
                                   : sim::BytesAt(at, HexBytes(p, "hex", w));
        size_t limit = v.contains("size") ? size : sim::kMaxByteImage;
        if (at > limit || patch.bytes.size() > limit - at) Bad(w, "reaches past the image's size");
        patches.push_back(patch);
    });
    if (!v.contains("size")) {
        std::vector<BYTE> image = base;
        sim::ApplyPatches(&image, patches);
        return image;
    }
    std::vector<BYTE> image = sim::ByteImage(size, Get<BYTE>(v, "fill", where, 0), {});
    sim::ApplyPatches(&image, patches);
    return image;
}

// A number written as JSON number or as text, decimal or "0x..." hex (object keys).
unsigned long long Number(const json& v, const std::string& where) {
    if (v.is_number_unsigned()) return v.get<unsigned long long>();
    if (v.is_string()) {
        const std::string& t = v.get_ref<const std::string&>();
        try {
            size_t used = 0;
            unsigned long long n = std::stoull(t, &used, 0);
            if (used == t.size() && !t.empty()) return n;
        } catch (const std::exception&) {
        }
    }
    Bad(where, "expected a number (decimal or 0x hex)");
}

// Images by number: {"216": image, "0xDC": image}, each over the one already there.
template <typename Key>
void NumberedImages(const json& v, const std::string& where,
                    std::map<Key, std::vector<BYTE>>* out) {
    if (!v.is_object()) Bad(where, "expected an object of number -> image");
    for (auto it = v.begin(); it != v.end(); ++it) {
        std::string w = where + "." + it.key();
        Key key = static_cast<Key>(Number(json(it.key()), w));
        (*out)[key] = ByteImage(it.value(), w, (*out)[key]);
    }
}

// A controller from a built-in profile, with any part of its image overridden.
std::shared_ptr<sim::SmiController> Controller(const json& d, const std::string& where) {
    OnlyKeys(d, where,
             {"controller", "name", "modelCode", "manufacturer", "product", "inquiry",
              "identificationCurrent", "identificationEarly", "ramPages", "ramAtAddress", "sfr",
              "flashInfo", "earlyInfoBlocks", "memory", "flashPages", "faults"});
    sim::ControllerProfile profile;
    std::string name = Get<std::string>(d, "controller", where, "");
    if (!sim::FindControllerProfile(name, &profile))
        Bad(where + ".controller", "no built-in controller profile \"" + name + "\"");
    profile.name = Get<std::string>(d, "name", where, profile.name);
    profile.modelCode = Get<int>(d, "modelCode", where, profile.modelCode);
    profile.manufacturer = Get<std::string>(d, "manufacturer", where, profile.manufacturer);
    profile.product = Get<std::string>(d, "product", where, profile.product);
    auto controller = sim::MakeController(profile);
    sim::ControllerImage& image = controller->profile.image;
    auto replace = [&](const char* key, std::vector<BYTE>* bytes) {
        if (d.contains(key)) *bytes = ByteImage(d.at(key), where + "." + key, *bytes);
    };
    replace("inquiry", &image.inquiry);
    replace("identificationCurrent", &image.identificationCurrent);
    replace("identificationEarly", &image.identificationEarly);
    replace("sfr", &image.sfr);
    replace("flashInfo", &image.flashInfo);
    if (d.contains("ramPages"))
        NumberedImages(d.at("ramPages"), where + ".ramPages", &image.ramPages);
    if (d.contains("ramAtAddress"))
        NumberedImages(d.at("ramAtAddress"), where + ".ramAtAddress", &image.ramAtAddress);
    if (d.contains("earlyInfoBlocks"))
        NumberedImages(d.at("earlyInfoBlocks"), where + ".earlyInfoBlocks", &image.earlyInfoBlocks);
    // Ranges given here come first, so they answer before the profile's own.
    std::vector<sim::MemoryRange> memory;
    Each(d, "memory", [&](const json& r, const std::string& w0) {
        std::string w = where + "." + w0;
        OnlyKeys(r, w, {"space", "address", "bytes", "readable", "writable"});
        sim::MemoryRange range;
        range.space = static_cast<BYTE>(Number(r.value("space", json(0)), w + ".space"));
        range.address = static_cast<DWORD>(Number(r.value("address", json(0)), w + ".address"));
        if (!r.contains("bytes")) Bad(w + ".bytes", "missing");
        range.bytes = ByteImage(r.at("bytes"), w + ".bytes");
        range.readable = Get<bool>(r, "readable", w, true);
        range.writable = Get<bool>(r, "writable", w, false);
        memory.push_back(range);
    });
    image.memory.insert(image.memory.begin(), memory.begin(), memory.end());
    Each(d, "flashPages", [&](const json& f, const std::string& w0) {
        std::string w = where + "." + w0;
        OnlyKeys(f, w, {"block", "page", "data", "control6", "control7", "control9", "control10"});
        sim::FlashPage page;
        page.block = static_cast<unsigned>(Number(f.value("block", json(0)), w + ".block"));
        page.page = static_cast<unsigned>(Number(f.value("page", json(0)), w + ".page"));
        if (f.contains("data")) page.data = ByteImage(f.at("data"), w + ".data");
        page.control6 = Get<int>(f, "control6", w, -1);
        page.control7 = Get<int>(f, "control7", w, -1);
        page.control9 = Get<int>(f, "control9", w, -1);
        page.control10 = Get<int>(f, "control10", w, -1);
        image.flashPages.push_back(page);
    });
    Each(d, "faults", [&](const json& f, const std::string& w0) {
        std::string w = where + "." + w0;
        OnlyKeys(f, w, {"form", "times", "at"});
        sim::ControllerFault fault;
        if (!sim::FormByName(Get<std::string>(f, "form", w, ""), &fault.form))
            Bad(w + ".form", "not a command form (docs/scenarios.md lists them)");
        fault.times = Get<int>(f, "times", w, 0);
        if (f.contains("at")) fault.at = static_cast<long long>(Number(f.at("at"), w + ".at"));
        controller->faults.push_back(fault);
    });
    return controller;
}

std::shared_ptr<sim::ScriptedDevice> ScriptedDevice(const json& d, const std::string& where) {
    OnlyKeys(d, where, {"name", "inquiry", "failInquiry", "inquiryFailTimes", "rules"});
    auto device = std::make_shared<sim::ScriptedDevice>();
    device->name = Get<std::string>(d, "name", where, device->name);
    device->failInquiry = Get<bool>(d, "failInquiry", where, false);
    device->inquiryFailTimes = Get<int>(d, "inquiryFailTimes", where, 0);
    if (d.contains("inquiry") && d.at("inquiry").contains("bytes")) {
        // Raw INQUIRY data, every byte as written.
        OnlyKeys(d.at("inquiry"), where + ".inquiry", {"bytes"});
        device->inquiry = ByteImage(d.at("inquiry").at("bytes"), where + ".inquiry.bytes");
    } else if (d.contains("inquiry")) {
        const json& q = d.at("inquiry");
        std::string w = where + ".inquiry";
        OnlyKeys(
            q, w,
            {"vendor", "product", "revision", "extra", "peripheral", "removable", "flagBytes"});
        device->inquiry = sim::InquiryData(
            Get<std::string>(q, "vendor", w, ""), Get<std::string>(q, "product", w, ""),
            Get<std::string>(q, "revision", w, ""), HexBytes(q, "extra", w),
            Get<BYTE>(q, "peripheral", w, 0), Get<bool>(q, "removable", w, true),
            Get<std::string>(q, "flagBytes", w, ""));
    }
    Each(d, "rules", [&](const json& r, const std::string& w0) {
        std::string w = where + "." + w0;
        OnlyKeys(r, w, {"cdb", "reply", "replies", "fail", "failTimes", "failOn"});
        sim::ScriptedDevice::Rule rule;
        if (!sim::ParsePattern(Get<std::string>(r, "cdb", w, ""), &rule.pattern) ||
            rule.pattern.empty() || rule.pattern.size() > 16)
            Bad(w + ".cdb", "expected 1 to 16 hex bytes or ??");
        if (r.contains("reply")) rule.reply = ByteImage(r.at("reply"), w + ".reply");
        Each(r, "replies", [&](const json& reply, const std::string& w1) {
            rule.replies.push_back(ByteImage(reply, w + "." + w1));
        });
        rule.fail = Get<bool>(r, "fail", w, false);
        rule.failTimes = Get<int>(r, "failTimes", w, 0);
        rule.failOn = Get<std::vector<int>>(r, "failOn", w, {});
        device->rules.push_back(rule);
    });
    return device;
}

// A scripted device, or a controller when the description names one.
std::shared_ptr<sim::ScsiTarget> Target(const json& d, const std::string& where) {
    if (d.is_object() && d.contains("controller")) return Controller(d, where);
    return ScriptedDevice(d, where);
}

void ApplyAspi(const json& a, sim::Machine& m) {
    OnlyKeys(a, "aspi", {"installed", "missingEntries", "supportStatus", "abortWorks", "adapters"});
    m.aspi.installed = Get<bool>(a, "installed", "aspi", true);
    for (const std::string& name : Get<std::vector<std::string>>(a, "missingEntries", "aspi", {}))
        m.aspi.missingEntries.insert(name);
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

// The event log service and the System log's records, oldest first.
void ApplyEventLog(const json& e, sim::Machine& m) {
    OnlyKeys(e, "eventLog", {"installed", "missingEntries", "queryError", "renderError", "system"});
    m.eventLog.installed = Get<bool>(e, "installed", "eventLog", true);
    for (const std::string& name :
         Get<std::vector<std::string>>(e, "missingEntries", "eventLog", {}))
        m.eventLog.missingEntries.insert(name);
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

void ApplyVolume(const json& v, const std::string& where, sim::Machine& m) {
    OnlyKeys(v, where,
             {"letter", "type", "dosDevice", "media", "deviceNumber", "deviceType", "partition",
              "openError", "deniedAccess", "passThroughDenied", "fileSystem", "lockAnswers",
              "scsiTarget"});
    sim::Volume vol;
    if (sim::Volume* existing = m.FindVolume(Letter(v, where))) vol = *existing;
    vol.letter = Letter(v, where);
    if (v.contains("type"))
        vol.driveType = DriveType(v.at("type").get<std::string>(), where + ".type");
    vol.dosDevice = Get<std::string>(v, "dosDevice", where, vol.dosDevice);
    vol.mediaPresent = Get<bool>(v, "media", where, vol.mediaPresent);
    DeviceNumber(v, where, &vol.hasDeviceNumber, &vol.deviceNumber);
    vol.deviceType = Get<DWORD>(v, "deviceType", where, vol.deviceType);
    vol.partitionNumber = Get<DWORD>(v, "partition", where, vol.partitionNumber);
    vol.openError = Get<DWORD>(v, "openError", where, vol.openError);
    vol.deniedAccess = sim::SpecificRights(Get<DWORD>(v, "deniedAccess", where, vol.deniedAccess),
                                           where + ".deniedAccess");
    vol.passThroughDenied = Get<bool>(v, "passThroughDenied", where, vol.passThroughDenied);
    vol.fileSystem = Get<std::string>(v, "fileSystem", where, vol.fileSystem);
    vol.lockAnswers = Get<std::vector<bool>>(v, "lockAnswers", where, vol.lockAnswers);
    if (v.contains("scsiTarget")) vol.target = Target(v.at("scsiTarget"), where + ".scsiTarget");
    m.AddVolume(vol);
}

void ApplyInterface(const json& i, const std::string& where, sim::Machine& m) {
    OnlyKeys(
        i, where,
        {"class", "path", "devInst", "deviceNumber", "deviceType", "openError", "detailError"});
    sim::Interface iface;
    if (!sim::ClassByName(Get<std::string>(i, "class", where, ""), &iface.interfaceClass))
        Bad(where + ".class", "expected disk, cdrom or floppy");
    iface.devicePath = Get<std::string>(i, "path", where, "");
    if (iface.devicePath.empty()) Bad(where + ".path", "missing");
    iface.devInst = Get<DEVINST>(i, "devInst", where, 0);
    DeviceNumber(i, where, &iface.hasDeviceNumber, &iface.deviceNumber);
    iface.deviceType = Get<DWORD>(i, "deviceType", where, iface.deviceType);
    iface.openError = Get<DWORD>(i, "openError", where, 0);
    iface.detailError = Get<DWORD>(i, "detailError", where, 0);
    m.AddInterface(iface);
}

void ApplyDevice(const json& d, const std::string& where, sim::Machine& m) {
    OnlyKeys(d, where,
             {"devInst", "parent", "instanceId", "ejectAnswers", "friendlyName", "description"});
    DEVINST inst = Get<DEVINST>(d, "devInst", where, 0);
    if (inst == 0) Bad(where + ".devInst", "expected a nonzero device instance");
    sim::DevNode& node = m.devices[inst];
    node.parent = Get<DEVINST>(d, "parent", where, node.parent);
    node.instanceId = Get<std::string>(d, "instanceId", where, node.instanceId);
    if (d.contains("ejectAnswers"))
        node.ejectAnswers = EjectAnswers(d.at("ejectAnswers"), where + ".ejectAnswers");
    NodeName(d, "friendlyName", where, &m.deviceProperties[inst].friendlyName);
    NodeName(d, "description", where, &m.deviceProperties[inst].description);
}

void ApplyUsbFlashDrive(const json& u, const std::string& where, sim::Machine& m) {
    OnlyKeys(u, where,
             {"letter", "diskNumber", "product", "media", "ejectAnswers", "friendlyName",
              "description"});
    sim::UsbDriveIds ids =
        sim::AddUsbFlashDrive(m, Letter(u, where), Get<DWORD>(u, "diskNumber", where, 1),
                              Get<std::string>(u, "product", where, "ven_generic&prod_flash_disk"));
    m.FindVolume(Letter(u, where))->mediaPresent = Get<bool>(u, "media", where, true);
    if (u.contains("ejectAnswers"))
        m.devices[ids.usb].ejectAnswers =
            EjectAnswers(u.at("ejectAnswers"), where + ".ejectAnswers");
    NodeName(u, "friendlyName", where, &m.deviceProperties[ids.disk].friendlyName);
    NodeName(u, "description", where, &m.deviceProperties[ids.disk].description);
}

HKEY Root(const std::string& name, const std::string& where) {
    return ByName<HKEY>(
        name, {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_DYN_DATA", HKEY_DYN_DATA}},
        where);
}

void ApplyRegistryKey(const json& k, const std::string& where, sim::Machine& m) {
    OnlyKeys(k, where, {"root", "view", "key", "openError", "values"});
    HKEY root = Root(Get<std::string>(k, "root", where, "HKEY_LOCAL_MACHINE"), where + ".root");
    std::string path = Get<std::string>(k, "key", where, "");
    // "64": the key is in the 64-bit view of HKLM\SOFTWARE, where 64-bit programs write.
    if (ByName<bool>(Get<std::string>(k, "view", where, "32"), {{"32", false}, {"64", true}},
                     where + ".view")) {
        if (root != HKEY_LOCAL_MACHINE || !sim::EqualNoCase(path.substr(0, 8), "SOFTWARE"))
            Bad(where + ".view", "only HKEY_LOCAL_MACHINE\\SOFTWARE has views");
        root = sim::Hklm64BitView;
    }
    sim::RegKey& key = m.registry.Key(root, path);
    key.openError = Get<LONG>(k, "openError", where, ERROR_SUCCESS);
    if (!k.contains("values")) return;
    const json& values = k.at("values");
    if (!values.is_object()) Bad(where + ".values", "expected an object");
    for (auto it = values.begin(); it != values.end(); ++it) {
        std::string w = where + ".values." + it.key();
        const json& v = it.value();
        OnlyKeys(v, w, {"dword", "string", "binary"});
        if (v.size() != 1) Bad(w, "expected exactly one of dword, string, binary");
        if (v.contains("dword"))
            m.registry.SetDword(root, path, it.key(), Get<DWORD>(v, "dword", w, 0));
        else if (v.contains("string"))
            m.registry.SetString(root, path, it.key(), Get<std::string>(v, "string", w, ""));
        else
            m.registry.SetRaw(root, path, it.key(), REG_BINARY,
                              Get<std::vector<BYTE>>(v, "binary", w, {}));
    }
}

// Files the program may copy, find or delete, and other processes it may wait on.
void ApplyFilesAndProcesses(const json& s, sim::Machine& m) {
    Each(s, "files", [&](const json& f, const std::string& w) {
        OnlyKeys(f, w, {"path", "inUse"});
        std::string path = Get<std::string>(f, "path", w, "");
        if (path.empty()) Bad(w + ".path", "missing");
        m.files[path].inUse = Get<bool>(f, "inUse", w, false);
    });
    Each(s, "processes", [&](const json& p, const std::string& w) {
        OnlyKeys(p, w, {"id", "ends", "atMs"});
        DWORD id = Get<DWORD>(p, "id", w, 0);
        if (id == 0) Bad(w + ".id", "expected a nonzero process id");
        sim::OtherProcess& other = m.processes[id];
        other.end = ByName<sim::ProcessEnd>(Get<std::string>(p, "ends", w, "atOnce"),
                                            {{"atOnce", sim::ProcessEnd::AtOnce},
                                             {"later", sim::ProcessEnd::Later},
                                             {"never", sim::ProcessEnd::Never}},
                                            w + ".ends");
        other.endsAtMs = Get<uint64_t>(p, "atMs", w, 0);
    });
}

}  // namespace

void Apply(const json& s, sim::Machine& m) {
    OnlyKeys(s, "scenario",
             {"description", "run",        "windows",          "account",        "process",
              "shell",       "fixedDisks", "opticalDrives",    "usbFlashDrives", "volumes",
              "interfaces",  "devices",    "failingClassSets", "registry",       "legacyUnits",
              "aspi",        "calls",      "vwin32",           "files",          "processes",
              "eventLog",    "expect"});
    if (s.contains("windows")) {
        const json& w = s.at("windows");
        OnlyKeys(w, "windows", {"major", "minor", "build", "platform", "servicePack"});
        m.version.major = Get<DWORD>(w, "major", "windows", m.version.major);
        m.version.minor = Get<DWORD>(w, "minor", "windows", m.version.minor);
        m.version.build = Get<DWORD>(w, "build", "windows", m.version.build);
        m.version.platformId =
            ByName<DWORD>(Get<std::string>(w, "platform", "windows", "nt"),
                          {{"nt", VER_PLATFORM_WIN32_NT}, {"9x", VER_PLATFORM_WIN32_WINDOWS}},
                          "windows.platform");
        m.version.servicePack = Get<std::string>(w, "servicePack", "windows", "");
    }
    if (s.contains("account")) ApplyAccount(s.at("account"), m);
    if (s.contains("process")) ApplyProcess(s.at("process"), m);
    if (s.contains("shell")) {
        OnlyKeys(s.at("shell"), "shell", {"executeError"});
        m.shell.executeError = Get<DWORD>(s.at("shell"), "executeError", "shell", 0);
    }
    Each(s, "fixedDisks", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"letter", "diskNumber"});
        sim::AddFixedDisk(m, Letter(d, w), Get<DWORD>(d, "diskNumber", w, 0));
    });
    Each(s, "opticalDrives", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"letter", "cdromNumber", "disc"});
        sim::AddOpticalDrive(m, Letter(d, w), Get<DWORD>(d, "cdromNumber", w, 0),
                             Get<bool>(d, "disc", w, false));
    });
    Each(s, "usbFlashDrives",
         [&](const json& d, const std::string& w) { ApplyUsbFlashDrive(d, w, m); });
    Each(s, "volumes", [&](const json& d, const std::string& w) { ApplyVolume(d, w, m); });
    Each(s, "interfaces", [&](const json& d, const std::string& w) { ApplyInterface(d, w, m); });
    Each(s, "devices", [&](const json& d, const std::string& w) { ApplyDevice(d, w, m); });
    if (s.contains("failingClassSets")) {
        for (const json& name : s.at("failingClassSets")) {
            GUID g;
            if (!name.is_string() || !sim::ClassByName(name.get<std::string>(), &g))
                Bad("failingClassSets", "expected disk, cdrom or floppy");
            m.failingClassSets.insert(name.get<std::string>());
        }
    }
    Each(s, "registry", [&](const json& d, const std::string& w) { ApplyRegistryKey(d, w, m); });
    Each(s, "legacyUnits", [&](const json& d, const std::string& w) {
        OnlyKeys(d, w, {"node", "hardwareKey", "class", "letter", "lun", "target"});
        sim::AddLegacyUnit(m, Get<std::string>(d, "node", w, ""),
                           Get<std::string>(d, "hardwareKey", w, ""),
                           Get<std::string>(d, "class", w, "DiskDrive"), Letter(d, w),
                           Get<int>(d, "lun", w, 0), Get<int>(d, "target", w, 0));
    });
    if (s.contains("aspi")) ApplyAspi(s.at("aspi"), m);
    if (s.contains("vwin32")) ApplyVwin32(s.at("vwin32"), m);
    ApplyFilesAndProcesses(s, m);
    if (s.contains("eventLog")) ApplyEventLog(s.at("eventLog"), m);
}

std::string Utf8(const std::string& ansi) {
    std::string out;
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

std::string HexText(const std::vector<BYTE>& bytes) {
    std::string text;
    char part[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
}

std::vector<std::string> Utf8Lines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) out.push_back(Utf8(line));
    return out;
}

}  // namespace

json Report(const sim::Machine& m, int exitCode) {
    const sim::Journal& j = m.journal;
    json r;
    r["console"] = Utf8Lines(j.ConsoleLines());
    r["standardError"] = Utf8Lines(j.ErrorLines());
    r["exitCode"] = exitCode;
    r["beeps"] = json::array();
    for (const auto& b : j.beeps) r["beeps"].push_back(b.type);
    r["shellOpens"] = json::array();
    for (const auto& o : j.shellOpens)
        r["shellOpens"].push_back({{"verb", Utf8(o.verb)},
                                   {"file", Utf8(o.file)},
                                   {"directory", Utf8(o.directory)},
                                   {"show", o.show},
                                   {"succeeded", o.succeeded}});
    r["ejectRequests"] = json::array();
    for (const auto& e : j.ejectRequests)
        r["ejectRequests"].push_back({{"devInst", e.devInst},
                                      {"result", e.result},
                                      {"vetoType", e.vetoType},
                                      {"vetoName", Utf8(sim::Narrow(e.vetoName))}});
    r["debugOutput"] = json::array();
    for (const auto& d : j.debugOutput) r["debugOutput"].push_back(Utf8(d.text));
    r["messageBoxes"] = json::array();
    for (const auto& b : j.messageBoxes)
        r["messageBoxes"].push_back(
            {{"text", Utf8(b.text)}, {"caption", Utf8(b.caption)}, {"type", b.type}});
    r["sleeps"] = json::array();
    for (const auto& s : j.sleeps) r["sleeps"].push_back(s.ms);
    r["scsiCommands"] = json::array();
    for (const auto& c : j.scsiCommands) {
        static const char* const kDirections[] = {"in", "out", "none"};
        std::vector<int> cdb(c.command.cdb, c.command.cdb + 16);
        r["scsiCommands"].push_back(
            {{"transport", c.transport},
             {"target", Utf8(c.target)},
             {"cdb", cdb},
             {"cdbLength", c.command.cdbLength},
             {"direction", kDirections[static_cast<int>(c.command.direction)]},
             {"length", c.command.transferLength},
             {"lun", c.command.lun},
             {"timeoutSeconds", c.command.timeoutSeconds},
             {"succeeded", c.succeeded}});
        if (!c.dataOut.empty()) r["scsiCommands"].back()["dataOut"] = HexText(c.dataOut);
    }
    r["refused"] = json::array();
    for (const sim::RefusedCommand& c : sim::RefusedCommands()) {
        std::vector<int> cdb(c.command.cdb, c.command.cdb + 16);
        r["refused"].push_back(
            {{"target", Utf8(c.controller)}, {"cdb", cdb}, {"reason", Utf8(c.reason)}});
    }
    r["aspiBlocks"] = json::array();
    for (const auto& block : j.aspiBlocks) r["aspiBlocks"].push_back(block);
    r["vwin32Calls"] = json::array();
    for (const auto& c : j.vwin32Calls)
        r["vwin32Calls"].push_back({{"in", std::vector<DWORD>(c.in, c.in + 7)},
                                    {"out", std::vector<DWORD>(c.out, c.out + 7)},
                                    {"succeeded", c.succeeded},
                                    {"carry", c.carry}});
    r["processesCreated"] = json::array();
    for (const auto& p : j.processesCreated)
        r["processesCreated"].push_back({{"applicationName", Utf8(p.applicationName)},
                                         {"commandLine", Utf8(p.commandLine)},
                                         {"currentDirectory", Utf8(p.currentDirectory)},
                                         {"inheritHandles", p.inheritHandles},
                                         {"creationFlags", p.creationFlags},
                                         {"succeeded", p.succeeded}});
    r["filesDeleted"] = json::array();
    for (const auto& f : j.filesDeleted) r["filesDeleted"].push_back(Utf8(f.path));
    r["files"] = json::object();
    for (const auto& f : m.files) r["files"][Utf8(f.first)] = {{"inUse", f.second.inUse}};
    r["currentDirectory"] = Utf8(m.process.currentDirectory);
    r["elapsedMs"] = m.clockMs;
    sim::Leaks leaks = m.OpenObjects();
    r["leaks"] = {{"handles", leaks.handles},
                  {"deviceInfoSets", leaks.deviceInfoSets},
                  {"registryKeys", leaks.registryKeys},
                  {"libraries", leaks.libraries},
                  {"allocations", leaks.allocations}};
    r["journal"] = Utf8Lines(j.lines);
    return r;
}

}  // namespace scenario
