// A scenario's SCSI targets: scripted devices, and SMI controllers from a built-in profile
// with any part of their image given as a byte image.
#include "tools/scenario_fields.h"
#include "tools/scenario_sections.h"

#include "sim/byte_image.h"
#include "sim/controller_profiles.h"
#include "sim/smi_controller.h"

#include <map>
#include <vector>

using nlohmann::json;

namespace scenario {
namespace {

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

}  // namespace

std::shared_ptr<sim::ScsiTarget> Target(const json& d, const std::string& where) {
    if (d.is_object() && d.contains("controller")) return Controller(d, where);
    return ScriptedDevice(d, where);
}

}  // namespace scenario
