#pragma once
// An engine on a manual clock in the test's own apartment, and fake modules added to it.
#include <gtest/gtest.h>
#include <memory>
#include "com/bstr.h"
#include "fake_module.h"
#include "host/engine/apartment.h"
#include "probed_engine.h"
#include "host/engine/vento_engine.h"
#include "module_harness.h" // SiteCall names in messages

namespace vento::test {

// L"Default"_b.get() is a BSTR that lives until the end of the full expression.
inline modkit::Bstr operator""_b(const wchar_t* text, std::size_t size) { return modkit::Bstr({text, size}); }

class EngineTest : public testing::Test, protected ProbedEngine {
protected:
    Instance& addFake(std::wstring typeName = L"Fake", FakeModule::Hook initialize = {}, FakeModule::Hook process = {})
    {
        auto module = modkit::make<FakeModule>(std::move(typeName), std::move(initialize), std::move(process));
        return engine.add(static_cast<IModule*>(module.Get()));
    }
    static FakeModule& fake(Instance& instance) { return *static_cast<FakeModule*>(instance.module.Get()); }
    static IModuleSite& site(Instance& instance) { return *instance.core->site(); }
    ManualClock& clock() { return static_cast<ManualClock&>(engine.clock()); }

};

} // namespace vento::test
