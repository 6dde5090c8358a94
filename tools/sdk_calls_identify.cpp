#include "tools/sdk_calls.h"

namespace scenario {

// The scenario calls of controller identification.
std::vector<SdkCall> IdentifySdkCalls() { return {}; }

}  // namespace scenario
