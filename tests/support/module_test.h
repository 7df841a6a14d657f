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

    ModuleHarness h;
};

} // namespace vento::test

using Microsoft::WRL::ComPtr;
using modkit::Bstr;
using vento::SiteCall;
using vento::test::ModuleHarness;
using vento::test::PageHarness;
using vento::test::propsOf;
using vento::test::randomBlock;
