// The FFT module in its real server DLL, driven through the engine harness.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <complex>
#include <numbers>
#include <olectl.h>
#include "fwdtransform_idl.h"

namespace {

constexpr wchar_t dll[] = L"fwdtransform.dll";
constexpr wchar_t pin[] = L"Default";

// Reference spectrum of the first `size` samples, in the interleaved layout, bins 0..size/2.
std::vector<double> referenceSpectrum(const std::vector<float>& x, long size)
{
    std::vector<double> out;
    for (long k = 0; k <= size / 2; ++k) {
        std::complex<double> sum;
        for (long n = 0; n < size; ++n)
            sum += double(x[n]) * std::polar(1.0, -2.0 * std::numbers::pi * double(k) * double(n) / double(size));
        out.push_back(sum.real());
        out.push_back(sum.imag());
    }
    return out;
}

using FFTModuleTest = vento::test::PlainModuleTest<dll, CLSID_FFTModule>;

TEST_F(FFTModuleTest, DeclaresItsPinsAndNeedsNoStartOrStop)
{
    EXPECT_EQ(128, h.outputSize(pin));
    EXPECT_EQ(1, h.calls().count(SiteCall::AddInput));
    EXPECT_EQ(S_OK, h.module()->Start());
    EXPECT_EQ(S_OK, h.module()->Stop());
}

TEST_F(FFTModuleTest, TransformsBlocksOfEverySize)
{
    struct Row {
        long n;
        long transformed; // 2^order
    };
    const Row rows[] = {{128, 128}, {1024, 1024}, {2048, 1024}, {100, 4}, {96, 32}, {64, 64}, {1, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "n = " << row.n);
        std::vector<float> x = randomBlock(row.n, unsigned(row.n));
        std::vector<float> out = h.processed(pin, x);
        ASSERT_EQ(size_t(row.n + 2), out.size());
        std::vector<double> ref = referenceSpectrum(x, row.transformed);
        double peak = 0;
        for (double v : ref) peak = std::max(peak, std::abs(v));
        size_t written = std::min<size_t>(out.size(), size_t(row.transformed + 2));
        for (size_t i = 0; i < ref.size() && i < written; ++i)
            ASSERT_NEAR(ref[i], out[i], 1e-5 * peak + 1e-6) << "float " << i;
        if (row.transformed > 1) {
            EXPECT_EQ(0.0f, out[1]);
            EXPECT_EQ(0.0f, out[row.transformed + 1]);
        }
        // Fresh output storage starts zeroed; floats past the transform are left as they were.
        for (size_t i = written; i < out.size(); ++i) ASSERT_EQ(0.0f, out[i]) << "float " << i;
        EXPECT_FALSE(h.wroteRetiredOutput(pin)) << "wrote through the pointer from before the resize";
    }
}

TEST_F(FFTModuleTest, ResizesOnlyWhenTheInputSizeChanges)
{
    long before = h.calls().count(SiteCall::AddOutput);
    for (int i = 0; i < 3; ++i) {
        h.feed(pin, randomBlock(256, 7));
        ASSERT_EQ(S_OK, h.process());
    }
    EXPECT_EQ(before + 1, h.calls().count(SiteCall::AddOutput));
    EXPECT_EQ(258, h.outputSize(pin));
    EXPECT_EQ(3, h.sendCount(pin));
}

TEST_F(FFTModuleTest, SendsNothingWithoutAUsableBlock)
{
    ASSERT_EQ(S_OK, h.process()) << "input not ready";
    h.feedWithStatus(pin, 1, randomBlock(128, 7));
    ASSERT_EQ(S_OK, h.process());
    h.feedNullRecord(pin);
    ASSERT_EQ(S_OK, h.process());
    h.feedEmpty(pin);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(pin));
    EXPECT_EQ(128, h.outputSize(pin));
    for (float v : h.outputData(pin)) ASSERT_EQ(0.0f, v);
}

TEST_F(FFTModuleTest, MarksItsOutputDocumentAsFFT)
{
    h.feed(pin, randomBlock(128, 7), L"<?xml version='1.0'?><PROPS><Type>Audio</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    auto props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"FFT", props[L"Type"]) << "replaced";
    EXPECT_EQ(L"8000", props[L"SamplesPerSecond"]);
    EXPECT_EQ(2u, props.size());

    // A changed rate reaches the output on the block that carries it.
    h.feed(pin, randomBlock(128, 7), L"<?xml version='1.0'?><PROPS><SamplesPerSecond>11025</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"FFT", props[L"Type"]) << "added";
    EXPECT_EQ(L"11025", props[L"SamplesPerSecond"]);
}

TEST_F(FFTModuleTest, InputWithoutDocumentGivesOnlyTheType)
{
    h.feed(pin, randomBlock(64, 7));
    ASSERT_EQ(S_OK, h.process());
    auto props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(1u, props.size());
    EXPECT_EQ(L"FFT", props[L"Type"]);
}

TEST_F(FFTModuleTest, RebuildsTheDocumentOnlyWhenItChanges)
{
    const std::wstring doc = L"<?xml version='1.0'?><PROPS><SamplesPerSecond>8000</SamplesPerSecond></PROPS>";
    h.feed(pin, randomBlock(128, 7), doc);
    ASSERT_EQ(S_OK, h.process());
    long outputBlocks = h.calls().count(SiteCall::GetOutputBlock);
    for (int i = 0; i < 4; ++i) {
        h.feed(pin, randomBlock(128, 7), doc);
        ASSERT_EQ(S_OK, h.process());
    }
    // One GetOutputBlock per steady block: no document is published again.
    EXPECT_EQ(outputBlocks + 4, h.calls().count(SiteCall::GetOutputBlock));
}

TEST(FFTModuleFaults, AFailingEngineCallEndsProcessWithItsResult)
{
    const SiteCall calls[] = {SiteCall::GetInputBlock, SiteCall::GetOutputBlock, SiteCall::IsInputReady,
                              SiteCall::AddOutput, SiteCall::SendOutput};
    for (SiteCall call : calls) {
        SCOPED_TRACE(testing::Message() << call);
        ModuleHarness fresh(dll, CLSID_FFTModule);
        ASSERT_EQ(S_OK, fresh.initialize());
        long sent = fresh.sendCount(pin);
        fresh.failCall(call, E_ACCESSDENIED);
        fresh.feed(pin, randomBlock(512, 7));
        EXPECT_EQ(E_ACCESSDENIED, fresh.process());
        EXPECT_EQ(sent, fresh.sendCount(pin));
        // The next block goes through normally.
        fresh.feed(pin, randomBlock(512, 7));
        EXPECT_EQ(S_OK, fresh.process());
        EXPECT_EQ(514u, fresh.lastSent(pin).data.size());
    } // each harness checks that the module and the server leaked nothing
}

} // namespace
