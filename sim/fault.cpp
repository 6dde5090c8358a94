#include "sim/fault.h"

namespace sim {
namespace {

struct FaultPlan {
    size_t failAt = kNoFault;
    std::string failCall;  // with failAt: the index among this call's asks
    size_t callAsks = 0;
    bool recording = false;
    bool lasting = false;  // the failed call keeps failing
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
    plan().recording = true;
}

void PlanFaultOf(const char* call, size_t occurrence) {
    PlanFault(occurrence);
    plan().failCall = call;
}

void PlanLastingFault(size_t index) {
    PlanFault(index);
    plan().lasting = true;
}

void ResetFaults() { plan() = FaultPlan(); }

bool FaultHere(const char* call) {
    FaultPlan& p = plan();
    if (!p.recording) return false;
    p.asks.emplace_back(call);
    if (p.lasting && p.injected == call) return true;
    size_t index = p.asks.size() - 1;
    if (!p.failCall.empty()) {
        if (p.failCall != call) return false;
        index = p.callAsks++;
    }
    if (index != p.failAt) return false;
    p.injected = call;
    return true;
}

const std::vector<std::string>& FailableCalls() { return plan().asks; }
const std::string& InjectedFault() { return plan().injected; }

}  // namespace sim
