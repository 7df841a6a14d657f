#pragma once
// What the module tests share: the harnesses for a module and its panel, test signals, property
// documents read back, and the names every test of a module uses.
#include <gtest/gtest.h>
#include <wrl/client.h>
#include "com/bstr.h"
#include "engine.h"
#include "module_harness.h"
#include "page_harness.h"
#include "props_reader.h"
#include "signals.h"

using Microsoft::WRL::ComPtr;
using modkit::Bstr;
using vento::SiteCall;
using vento::test::ModuleHarness;
using vento::test::PageHarness;
using vento::test::propsOf;
using vento::test::randomBlock;
