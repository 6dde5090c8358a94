#include "sim/fault.h"

namespace sim {
namespace {

struct FaultPlan {
    size_t failAt = kNoFault;
    std::vector<std::string> asks;
    std::string injected;
};

FaultPlan& plan() {
    static FaultPlan p;
    return p;
}

}  // namespace

void PlanFault(size_t index) {
    plan() = FaultPlan();
    plan().failAt = index;
}

void ResetFaults() { PlanFault(kNoFault); }

bool FaultHere(const char* call) {
    FaultPlan& p = plan();
    p.asks.emplace_back(call);
    if (p.asks.size() - 1 != p.failAt) return false;
    p.injected = call;
    return true;
}

const std::vector<std::string>& FailableCalls() { return plan().asks; }
const std::string& InjectedFault() { return plan().injected; }

}  // namespace sim
