// FFT -> Filter -> inverse FFT through the engine: the frequency-domain chain end to end.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <numbers>
#include <random>
#include "bandgate_idl.h"
#include "fwdtransform_idl.h"
#include "invtransform_idl.h"

namespace {

constexpr wchar_t pin[] = L"Default";
constexpr long blockSize = 128;

// The filter under test, with an FFT feeding it and an inverse FFT after it.
class FilterChain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, h.initialize());
        fft = &h.addModule(L"fwdtransform.dll", CLSID_FFTModule, L"fft");
        ifft = &h.addModule(L"invtransform.dll", CLSID_iFFTModule, L"ifft");
        ASSERT_EQ(S_OK, fft->module->Initialize());
        ASSERT_EQ(S_OK, ifft->module->Initialize());
        h.engine().connect(*fft, pin, h.instance(), pin);
        h.engine().connect(h.instance(), pin, *ifft, pin);
    }
    // One block through the three modules; the samples that come out.
    std::vector<float> run(const std::vector<float>& samples)
    {
        fft->core->connectionSlot(pin).receive(samples, std::wstring(L"<?xml version='1.0'?><PROPS><Type>Audio</Type><SamplesPerSecond>11025</SamplesPerSecond></PROPS>"));
        EXPECT_EQ(S_OK, h.engine().process(*fft));
        EXPECT_EQ(S_OK, h.process());
        EXPECT_EQ(S_OK, h.engine().process(*ifft));
        auto data = ifft->core->findOutput(pin)->data();
        return std::vector<float>(data.begin(), data.end());
    }
    static std::vector<float> tone(int bin, float amplitude)
    {
        std::vector<float> x(blockSize);
        for (long t = 0; t < blockSize; ++t)
            x[t] = amplitude * float(std::sin(2.0 * std::numbers::pi * bin * double(t) / blockSize));
        return x;
    }

    ModuleHarness h{L"bandgate.dll", CLSID_FilterModule};
    vento::Instance* fft = nullptr;
    vento::Instance* ifft = nullptr;
};

TEST_F(FilterChain, DefaultBandGivesTheSamplesBack)
{
    std::mt19937 gen(42);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (int block = 0; block < 4; ++block) {
        std::vector<float> x(blockSize);
        for (float& v : x) v = dist(gen);
        std::vector<float> y = run(x);
        ASSERT_EQ(x.size(), y.size());
        for (long i = 0; i < blockSize; ++i) ASSERT_NEAR(x[i], y[i], 1e-5f) << "block " << block << " sample " << i;
    }
}

TEST_F(FilterChain, ABandKeepsTheToneInsideAndRemovesTheOneOutside)
{
    PageHarness panel(h, L"bandgate.dll", CLSID_FilterModulePP);
    panel.moveTrackbar(5003, 20); // high cut: bin 20
    panel.moveTrackbar(5001, 5);  // low cut: bin 5
    std::vector<float> inside = tone(10, 0.5f), outside = tone(40, 0.8f), mixed(blockSize);
    for (long t = 0; t < blockSize; ++t) mixed[t] = inside[t] + outside[t];
    std::vector<float> y = run(mixed);
    ASSERT_EQ(size_t(blockSize), y.size());
    for (long t = 0; t < blockSize; ++t) ASSERT_NEAR(inside[t], y[t], 1e-5f) << "sample " << t;
}

} // namespace
