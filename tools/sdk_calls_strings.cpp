#include "tools/sdk_calls.h"

namespace scenario {

// The scenario calls of the information block and the USB strings.
std::vector<SdkCall> StringSdkCalls() { return {}; }

}  // namespace scenario
