// The inverse FFT module in its real server DLL, alone and behind the FFT module.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <complex>
#include <numbers>
#include "fwdtransform_idl.h"
#include "invtransform_idl.h"

namespace {

constexpr wchar_t pin[] = L"Default";

// Samples of a spectrum given as bins 0..size/2 (interleaved), by the inverse DFT with 1/size.
std::vector<double> referenceSamples(const std::vector<float>& spectrum, long size)
{
    std::vector<double> out(size);
    for (long t = 0; t < size; ++t) {
        double sum = spectrum[0];
        if (size > 1) sum += spectrum[size] * std::cos(std::numbers::pi * double(t));
        for (long k = 1; k < size / 2; ++k) {
            std::complex<double> bin(spectrum[2 * k], spectrum[2 * k + 1]);
            sum += 2.0 * (bin * std::polar(1.0, 2.0 * std::numbers::pi * double(k) * double(t) / double(size))).real();
        }
        out[t] = sum / double(size);
    }
    return out;
}

class iFFTModuleTest : public vento::test::ModuleTest {
protected:
    iFFTModuleTest() : ModuleTest(L"invtransform.dll", CLSID_iFFTModule) {}
};

TEST_F(iFFTModuleTest, DeclaresAnOutputOf128)
{
    EXPECT_EQ(128, h.outputSize(pin));
}

TEST_F(iFFTModuleTest, TurnsSpectraOfEverySizeIntoSamples)
{
    struct Row {
        long n;           // input floats
        long transformed; // samples the transform writes
    };
    const Row rows[] = {{130, 128}, {1026, 1024}, {2050, 1024}, {66, 64}, {34, 32}, {102, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "n = " << row.n);
        std::vector<float> spectrum = randomBlock(row.n, unsigned(row.n));
        std::vector<float> out = h.processed(pin, spectrum);
        ASSERT_EQ(size_t(row.n - 2), out.size());
        std::vector<double> ref = referenceSamples(spectrum, row.transformed);
        double peak = 0;
        for (double v : ref) peak = std::max(peak, std::abs(v));
        for (long i = 0; i < row.transformed; ++i) ASSERT_NEAR(ref[i], out[i], 1e-5 * peak + 1e-6) << "sample " << i;
        for (size_t i = size_t(row.transformed); i < out.size(); ++i) ASSERT_EQ(0.0f, out[i]) << "left as it was";
        EXPECT_FALSE(h.wroteRetiredOutput(pin));
    }
}

TEST_F(iFFTModuleTest, SpectraWithoutSamplesSendNothing)
{
    h.feedEmpty(pin);
    ASSERT_EQ(S_OK, h.process());
    h.feed(pin, {1.0f});
    ASSERT_EQ(S_OK, h.process());
    h.feed(pin, {1.0f, 0.0f});
    ASSERT_EQ(S_OK, h.process());
    h.feedWithStatus(pin, 1, randomBlock(130, 1));
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(pin));
    EXPECT_EQ(128, h.outputSize(pin)) << "never resized to a negative or empty block";
}

TEST_F(iFFTModuleTest, OddSampleCountsStayInsideTheBlock)
{
    // 257 floats: 255 samples, an odd count, transformed over its first 2^0 samples.
    std::vector<float> spectrum = randomBlock(257, 3);
    std::vector<float> out = h.processed(pin, spectrum);
    ASSERT_EQ(255u, out.size());
    EXPECT_FLOAT_EQ(spectrum[0], out[0]);
    for (size_t i = 1; i < out.size(); ++i) ASSERT_EQ(0.0f, out[i]);
}

TEST_F(iFFTModuleTest, MarksItsOutputAsAudioWithoutRepublishingOnResize)
{
    h.feed(pin, randomBlock(130, 5), L"<?xml version='1.0'?><PROPS><Type>FFT</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    auto props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"Audio", props[L"Type"]);
    EXPECT_EQ(L"8000", props[L"SamplesPerSecond"]);

    // Same document, new size: the output is resized but its document is not rebuilt.
    long lookups = h.calls().count(SiteCall::GetInputCount);
    h.feed(pin, randomBlock(66, 6), L"<?xml version='1.0'?><PROPS><Type>FFT</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(lookups + 1, h.calls().count(SiteCall::GetInputCount)) << "one document check, no republishing";
    EXPECT_EQ(64, h.outputSize(pin));
}

TEST(iFFTChain, FFTThenInverseGivesTheSamplesBack)
{
    ModuleHarness h(L"invtransform.dll", CLSID_iFFTModule);
    ASSERT_EQ(S_OK, h.initialize());
    vento::Instance& fft = h.addSource(L"fwdtransform.dll", CLSID_FFTModule, L"fft");

    for (long n : {4L, 64L, 128L, 1024L}) {
        SCOPED_TRACE(testing::Message() << "n = " << n);
        std::vector<float> x = randomBlock(n, unsigned(n) + 11);
        fft.core->connectionSlot(pin).receive(x, std::wstring(L"<?xml version='1.0'?><PROPS><Type>Audio</Type></PROPS>"));
        ASSERT_EQ(S_OK, h.engine().process(fft));
        ASSERT_EQ(S_OK, h.process());
        const auto& back = h.lastSent(pin);
        ASSERT_EQ(x.size(), back.data.size());
        for (long i = 0; i < n; ++i) ASSERT_NEAR(x[i], back.data[i], 1e-5f) << "sample " << i;
        EXPECT_EQ(L"Audio", propsOf(back.props)[L"Type"]);
    }
}

} // namespace
