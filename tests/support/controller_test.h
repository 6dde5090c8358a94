// Test support for roads that talk to an emulated controller: a road that sends a command
// the controller would not understand, or asks for something its image does not hold,
// fails the test with the controller's reason.
#pragma once

#include "sim/controller_profiles.h"
#include "sim/smi_controller.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

// Asserts that no controller behind the machine's volumes and host adapters refused a
// command, naming each refusal.
inline void ExpectNothingRefused() {
    for (const sim::RefusedCommand& r : sim::RefusedCommands()) {
        char cdb[3 * 16 + 1] = {0};
        for (int i = 0; i < 16; ++i)
            std::snprintf(cdb + 3 * i, sizeof cdb - 3 * i, i ? " %02X" : "%02X ", r.command.cdb[i]);
        ADD_FAILURE() << r.controller << " refused " << cdb << ": " << r.reason;
    }
}

// The built-in profile `name` as a controller; fails the test when there is none.
inline std::shared_ptr<sim::SmiController> BuiltInController(const std::string& name) {
    sim::ControllerProfile profile;
    EXPECT_TRUE(sim::FindControllerProfile(name, &profile)) << "no profile " << name;
    return sim::MakeController(profile);
}
