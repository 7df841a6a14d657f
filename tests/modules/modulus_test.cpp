// The Magnitude module in its real server DLL.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include "modulus_idl.h"

namespace {

constexpr wchar_t pin[] = L"Default";

class MagnitudeModuleTest : public vento::test::ModuleTest {
protected:
    MagnitudeModuleTest() : ModuleTest(L"modulus.dll", CLSID_MagnitudeModule) {}
};

TEST_F(MagnitudeModuleTest, LogPowerWithARampClippedToPlusMinusOne)
{
    // 130 floats: 65 bins.
    std::vector<float> in(130, 0.0f);
    in[0] = 3.0f;
    in[1] = 4.0f;                           // bin 0: power 25
    for (int i = 1; i < 65; ++i) in[2 * i] = 1.0f; // power 1: only the ramp remains
    in[2 * 10] = float(std::exp(10.0));     // bin 10: power e^20, 2 before the ramp
    in[2 * 20] = 0.0f;                      // bin 20: zero
    std::vector<float> out = h.processed(pin, in);
    ASSERT_EQ(65u, out.size());
    EXPECT_FLOAT_EQ(float(0.1 * std::log(25.0)), out[0]);
    for (int i : {1, 2, 33, 64}) EXPECT_FLOAT_EQ(float(0.5 * i / 65.0), out[i]) << "bin " << i;
    EXPECT_EQ(1.0f, out[10]);
    EXPECT_EQ(-1.0f, out[20]);
}

TEST_F(MagnitudeModuleTest, SilenceIsMinusOneAndAnOddFloatIsIgnored)
{
    h.feed(pin, std::vector<float>(129, 0.0f));
    ASSERT_EQ(S_OK, h.process());
    std::vector<float> out = h.lastSent(pin).data;
    ASSERT_EQ(64u, out.size());
    for (float v : out) ASSERT_EQ(-1.0f, v);
}

TEST_F(MagnitudeModuleTest, KeepsTheInputDocumentAndRepublishesOnResize)
{
    h.feed(pin, std::vector<float>(130, 1.0f), L"<?xml version='1.0'?><PROPS><Type>FFT</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    auto props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"FFT", props[L"Type"]);
    EXPECT_EQ(L"8000", props[L"SamplesPerSecond"]);
    EXPECT_EQ(2u, props.size());
}

TEST_F(MagnitudeModuleTest, AnEmptyReadyBlockSendsAnEmptyBlock)
{
    ASSERT_EQ(S_OK, h.process()) << "not ready: nothing";
    EXPECT_EQ(0, h.sendCount(pin));
    h.feedNullRecord(pin);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(pin));
    EXPECT_EQ(0, h.outputSize(pin));
}

TEST(MagnitudeFaults, AFailingEngineCallEndsProcessWithItsResult)
{
    for (SiteCall call : {SiteCall::IsInputReady, SiteCall::GetInputBlock, SiteCall::AddOutput, SiteCall::SendOutput}) {
        SCOPED_TRACE(testing::Message() << call);
        ModuleHarness h(L"modulus.dll", CLSID_MagnitudeModule);
        ASSERT_EQ(S_OK, h.initialize());
        h.failCall(call, E_ACCESSDENIED);
        h.feed(pin, std::vector<float>(66, 1.0f));
        EXPECT_EQ(E_ACCESSDENIED, h.process());
        EXPECT_EQ(0, h.sendCount(pin));
    }
}

} // namespace
