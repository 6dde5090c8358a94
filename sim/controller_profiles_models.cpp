#include "controller_profiles.h"

namespace sim {

std::vector<ControllerProfile> ModelTableProfiles() { return {}; }

}  // namespace sim
