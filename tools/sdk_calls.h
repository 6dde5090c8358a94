// SDK entry points a scenario can run ("run": "sdk"), by name. Each area of the SDK lists
// its calls in a file of its own (VendorSdkCalls in sdk_calls_vendor.cpp, ...); the table
// is their union, so a new call is one entry in its area's list.
#pragma once

#include <simwin/windef.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace scenario {

// What one call returned: its status (the routine's return value) and the bytes it handed
// back, plus anything else the area wants in the report. `overruns` names the output
// buffers the call wrote past their length (see GuardedBuffer); the report lists them as
// "overrun" when there are any.
struct SdkCallResult {
    long long status = 0;
    std::vector<BYTE> bytes;
    nlohmann::json extra = nlohmann::json::object();
    std::vector<std::string> overruns;
};

// An output buffer of `size` zeroed bytes as a caller of the SDK hands it over, followed by
// guard bytes that no call may touch: a write past the buffer's length changes them, in
// every build, also where the buffer is larger than the length a call was given.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size);
    BYTE* data() { return bytes_.data(); }
    char* chars() { return reinterpret_cast<char*>(bytes_.data()); }
    size_t size() const { return size_; }
    // The buffer without its guard; the text in it up to its first NUL (or its end).
    std::vector<BYTE> Bytes() const;
    std::string Text() const;
    // Adds `name` to the result's overruns when the guard was touched.
    void Check(const char* name, SdkCallResult* result) const;

private:
    size_t size_;
    std::vector<BYTE> bytes_;
};

// Runs one call as the scenario describes it ({"call": name, ...fields}). Throws
// std::runtime_error naming the field when the description does not fit the call.
using SdkCallFn = SdkCallResult (*)(const nlohmann::json& call);

struct SdkCall {
    std::string name;
    SdkCallFn run;
};

std::vector<SdkCall> VendorSdkCalls();    // RAM, SFR, flash identity, flash pages
std::vector<SdkCall> IdentifySdkCalls();  // controller identification
std::vector<SdkCall> LockSdkCalls();      // the disk lock and its exports
std::vector<SdkCall> StringSdkCalls();    // the information block and the USB strings
std::vector<SdkCall> ListSdkCalls();      // the drive-letter lists
std::vector<SdkCall> AllSdkCalls();

// Fields shared by the calls. The drive: "drive": "E" (required where the call names a
// drive); its pass-through path "\\.\E:".
char CallDrive(const nlohmann::json& call);
std::string DrivePath(char drive);
// An integer field, `fallback` when absent; out of [low, high] is an error.
long long CallInt(const nlohmann::json& call, const char* key, long long fallback, long long low,
                  long long high);
// "model": the model code the call uses; also made the current model code.
int CallModel(const nlohmann::json& call);

// Runs the calls in order and returns one report entry per call: {"call", "status",
// "bytes"} with the bytes in compact hex ("53 4D 00*510"), or, when the call lists "show"
// (offsets, or [offset, count] pairs), an object of offset -> hex of just those bytes.
nlohmann::json RunSdkCalls(const nlohmann::json& calls);

// Hex bytes with every run of four or more equal bytes written "XX*N".
std::string CompactHex(const std::vector<BYTE>& bytes);

}  // namespace scenario
