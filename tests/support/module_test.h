#pragma once
// What the module tests share: the harnesses for a module and its panel, test signals, property
// documents read back, the fixture most of them start from, and the names every test of a module
// uses.
#include <gtest/gtest.h>
#include <wrl/client.h>
#include "com/bstr.h"
#include "engine.h"
#include "module_harness.h"
#include "page_harness.h"
#include "props_reader.h"
#include "signals.h"

namespace vento::test {

// The fixture of most module tests: the module in its real server, initialised before each test.
class ModuleTest : public ::testing::Test {
protected:
    ModuleTest(const wchar_t* dll, REFCLSID module) : h(dll, module) {}
    void SetUp() override { ASSERT_EQ(S_OK, h.initialize()); }
    // A panel's set-up told the engine of a change as panels do: SetModified(0) inside its update
    // scope, then (1) as the scope closes, and left no scope open.
    void expectSetUpReportedAChange(long modifiedBefore)
    {
        EXPECT_EQ(modifiedBefore + 2, h.core().modifiedCount()) << "0, then 1 as the scope closes";
        EXPECT_EQ(1, h.core().lastModifiedFlag());
        EXPECT_EQ(0, h.core().updateDepth());
    }

    ModuleHarness h;
};

// The fixture of a module whose tests need nothing beyond it.
template <const wchar_t* Dll, const CLSID& Module>
class PlainModuleTest : public ModuleTest {
protected:
    PlainModuleTest() : ModuleTest(Dll, Module) {}
};

} // namespace vento::test

using Microsoft::WRL::ComPtr;
using modkit::Bstr;
using vento::SiteCall;
using vento::test::ModuleHarness;
using vento::test::PageHarness;
using vento::test::propsOf;
using vento::test::randomBlock;
