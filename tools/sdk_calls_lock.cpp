#include "tools/sdk_calls.h"

namespace scenario {

// The scenario calls of the disk lock and its exports.
std::vector<SdkCall> LockSdkCalls() { return {}; }

}  // namespace scenario
