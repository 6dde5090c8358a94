#include "tools/sdk_calls.h"

namespace scenario {

// The scenario calls of the drive-letter lists.
std::vector<SdkCall> ListSdkCalls() { return {}; }

}  // namespace scenario
