// Test support for roads that talk to an emulated controller: a road that sends a command
// the controller would not understand, or asks for something its image does not hold,
// fails the test with the controller's reason.
#pragma once

#include "sim/builders.h"
#include "sim/controller_profiles.h"
#include "sim/smi_controller.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

namespace sim {
// Test parameters that are profiles print as their name.
inline void PrintTo(const ControllerProfile& profile, std::ostream* out) { *out << profile.name; }
}  // namespace sim

// A profile's name as a test name: letters and digits, anything else as '_'
// ("SM325AC/SM321U" -> "SM325AC_SM321U").
inline std::string ProfileTestName(const ::testing::TestParamInfo<sim::ControllerProfile>& info) {
    std::string name;
    for (char c : info.param.name)
        name +=
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? c : '_';
    return name;
}

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

// Puts `controller` behind a USB flash drive with volume `letter` and returns it.
inline std::shared_ptr<sim::SmiController> AttachController(
    sim::Machine& m, char letter, std::shared_ptr<sim::SmiController> controller) {
    sim::AddUsbFlashDrive(m, letter, 1);
    m.FindVolume(letter)->target = controller;
    return controller;
}
