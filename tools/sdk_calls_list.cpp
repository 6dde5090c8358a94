#include "sdk/discovery/admin_list.h"
#include "sdk/discovery/sysinfo.h"
#include "tools/sdk_calls.h"

#include <stdexcept>
#include <string>

namespace scenario {

namespace {

using nlohmann::json;

// A filter field: absent or null is no filter, a string is the filter.
bool Filter(const json& call, const char* key, std::string* out) {
    if (!call.contains(key) || call[key].is_null()) return false;
    if (!call[key].is_string()) throw std::runtime_error(std::string(key) + ": not a string");
    *out = call[key].get<std::string>();
    return true;
}

// Runs `list` with the call's "vendor" and "product" filters and reports the letters.
template <typename List>
SdkCallResult WithFilters(const json& call, List list) {
    std::string vendor, product;
    bool hasVendor = Filter(call, "vendor", &vendor);
    bool hasProduct = Filter(call, "product", &product);
    // The lists take no size: the most they write is kMaxSysInfoLetters.
    GuardedBuffer letters(kMaxSysInfoLetters);
    SdkCallResult result;
    int count = list(letters.chars(), hasVendor ? vendor.c_str() : nullptr,
                     hasProduct ? product.c_str() : nullptr);
    result.status = count;
    if (count < 0 || count > kMaxSysInfoLetters) count = 0;
    result.extra["letters"] = std::string(letters.chars(), static_cast<size_t>(count));
    letters.Check("letters", &result);
    return result;
}

SdkCallResult AdminList(const json& call) { return WithFilters(call, ListControllerDriveLetters); }

SdkCallResult LetterListRequest(const json& call) { return WithFilters(call, GetSysInfo); }

}  // namespace

// The scenario calls of the drive-letter lists.
std::vector<SdkCall> ListSdkCalls() {
    return {{"ListControllerDriveLetters", AdminList}, {"GetSysInfo", LetterListRequest}};
}

}  // namespace scenario
