#pragma once
// An engine on a manual clock in the test's own apartment, with the probe that counts, logs and
// fails the site calls of every core it makes. For fixtures: derive from it.
#include <memory>
#include "host/engine/apartment.h"
#include "host/engine/call_probe.h"
#include "host/engine/vento_engine.h"

namespace vento::test {

struct ProbedEngine {
    ProbedEngine() { engine.setProbe(&siteProbe); }
    ComApartment apartment;
    CallProbe siteProbe; // outlives the engine's cores
    Engine engine{std::make_unique<ManualClock>()};
};

} // namespace vento::test
