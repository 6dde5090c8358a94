#include "tools/sdk_calls.h"

#include "tools/scenario_fields.h"

#include "sdk/device/device_table.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <stdexcept>

using nlohmann::json;

namespace scenario {

namespace {

std::string Hex(const std::vector<BYTE>& bytes, size_t from, size_t count) {
    std::string text;
    char part[4];
    for (size_t i = from; i < from + count && i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, i > from ? " %02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
}

// The bytes the call's "show" list picks out: offset -> hex.
json Shown(const json& show, const std::vector<BYTE>& bytes, const std::string& where) {
    if (!show.is_array()) Bad(where, "expected a list of offsets or [offset, count] pairs");
    json out = json::object();
    for (const json& item : show) {
        size_t at = 0, count = 1;
        if (item.is_number_unsigned()) {
            at = item.get<size_t>();
        } else if (item.is_array() && item.size() == 2 && item[0].is_number_unsigned() &&
                   item[1].is_number_unsigned()) {
            at = item[0].get<size_t>();
            count = item[1].get<size_t>();
        } else {
            Bad(where, "expected a list of offsets or [offset, count] pairs");
        }
        if (at >= bytes.size() || count > bytes.size() - at)
            Bad(where, "offset " + std::to_string(at) + " is past the returned bytes");
        out[std::to_string(at)] = Hex(bytes, at, count);
    }
    return out;
}

// Guard bytes unlike anything a device or the SDK writes.
const BYTE kGuardByte = 0xA5;
const size_t kGuardBytes = 32;

}  // namespace

GuardedBuffer::GuardedBuffer(size_t size) : size_(size), bytes_(size + kGuardBytes, 0) {
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(size), bytes_.end(), kGuardByte);
}

std::vector<BYTE> GuardedBuffer::Bytes() const {
    return std::vector<BYTE>(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size_));
}

std::string GuardedBuffer::Text() const {
    size_t n = 0;
    while (n < size_ && bytes_[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(bytes_.data()), n);
}

void GuardedBuffer::Check(const char* name, SdkCallResult* result) const {
    for (size_t i = size_; i < bytes_.size(); ++i) {
        if (bytes_[i] != kGuardByte) {
            result->overruns.push_back(name);
            return;
        }
    }
}

std::vector<SdkCall> AllSdkCalls() {
    std::vector<SdkCall> all;
    for (auto area : {VendorSdkCalls, IdentifySdkCalls, LockSdkCalls, StringSdkCalls, ListSdkCalls})
        for (const SdkCall& call : area()) all.push_back(call);
    return all;
}

char CallDrive(const json& call) {
    std::string drive = call.value("drive", std::string());
    if (drive.size() != 1 || drive[0] < 'A' || drive[0] > 'Z')
        Bad("calls.drive", "expected one letter A-Z");
    return drive[0];
}

std::string DrivePath(char drive) { return std::string("\\\\.\\") + drive + ":"; }

long long CallInt(const json& call, const char* key, long long fallback, long long low,
                  long long high) {
    if (!call.contains(key)) return fallback;
    const json& v = call.at(key);
    if (!v.is_number_integer()) Bad(std::string("calls.") + key, "expected an integer");
    long long n = v.get<long long>();
    if (n < low || n > high)
        Bad(std::string("calls.") + key,
            "expected " + std::to_string(low) + " to " + std::to_string(high));
    return n;
}

int CallModel(const json& call) {
    int model =
        static_cast<int>(CallInt(call, "model", CurrentModelCode, -2147483647LL - 1, 2147483647LL));
    CurrentModelCode = model;
    return model;
}

std::string CompactHex(const std::vector<BYTE>& bytes) {
    std::string text;
    char part[32];
    for (size_t i = 0; i < bytes.size();) {
        size_t run = 1;
        while (i + run < bytes.size() && bytes[i + run] == bytes[i]) ++run;
        if (run >= 4) {
            std::snprintf(part, sizeof part, "%s%02X*%zu", text.empty() ? "" : " ", bytes[i], run);
            i += run;
        } else {
            std::snprintf(part, sizeof part, "%s%02X", text.empty() ? "" : " ", bytes[i]);
            ++i;
        }
        text += part;
    }
    return text;
}

json RunSdkCalls(const json& calls) {
    if (!calls.is_array()) Bad("calls", "expected a list");
    std::vector<SdkCall> table = AllSdkCalls();
    json report = json::array();
    for (size_t k = 0; k < calls.size(); ++k) {
        std::string where = "calls[" + std::to_string(k) + "]";
        const json& call = calls[k];
        if (!call.is_object() || !call.contains("call") || !call.at("call").is_string())
            Bad(where, "expected {\"call\": name, ...}");
        std::string name = call.at("call").get<std::string>();
        const SdkCall* found = nullptr;
        for (const SdkCall& c : table)
            if (c.name == name) found = &c;
        if (found == nullptr) Bad(where + ".call", "no SDK call \"" + name + "\"");
        SdkCallResult result = found->run(call);
        json entry = {{"call", name}, {"status", result.status}};
        if (call.contains("drive")) entry["drive"] = call.at("drive");
        if (call.contains("show"))
            entry["bytes"] = Shown(call.at("show"), result.bytes, where + ".show");
        else
            entry["bytes"] = CompactHex(result.bytes);
        for (auto it = result.extra.begin(); it != result.extra.end(); ++it)
            entry[it.key()] = it.value();
        if (!result.overruns.empty()) entry["overrun"] = result.overruns;
        report.push_back(entry);
    }
    return report;
}

}  // namespace scenario
