// The Convolution module in its real server DLL.
#include <initguid.h>
#include "module_test.h"
#include "kernelapply_idl.h"

namespace {

constexpr wchar_t dll[] = L"kernelapply.dll";
constexpr wchar_t signal[] = L"Signal";
constexpr wchar_t kernel[] = L"Convolution";

using ConvolutionModuleTest = vento::test::PlainModuleTest<dll, CLSID_ConvolutionModule>;

TEST_F(ConvolutionModuleTest, DeclaresSignalInOutAndKernelInThatOrder)
{
    std::vector<std::pair<SiteCall, std::wstring>> declared;
    for (const auto& entry : h.calls().entries())
        if (entry.call == SiteCall::AddInput || entry.call == SiteCall::AddOutput) declared.emplace_back(entry.call, entry.pin);
    const std::vector<std::pair<SiteCall, std::wstring>> expected = {
        {SiteCall::AddInput, signal}, {SiteCall::AddOutput, signal}, {SiteCall::AddInput, kernel}};
    EXPECT_EQ(expected, declared);
    ASSERT_TRUE(h.core().controlPage().has_value());
    EXPECT_TRUE(IsEqualCLSID(CLSID_ConvolutionModulePP, *h.core().controlPage()));
}

TEST_F(ConvolutionModuleTest, SendsTheFullLinearConvolution)
{
    std::vector<float> x = randomBlock(128, 1), k = randomBlock(33, 2);
    h.feed(kernel, k);
    h.feed(signal, x, L"<?xml version='1.0'?><PROPS><Type>Audio</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    const auto& y = h.lastSent(signal);
    ASSERT_EQ(160u, y.data.size());
    for (int n = 0; n < 160; ++n) {
        double sum = 0;
        for (int j = 0; j < 128; ++j)
            if (n - j >= 0 && n - j < 33) sum += double(x[j]) * k[n - j];
        ASSERT_NEAR(sum, y.data[n], 1e-5) << "sample " << n;
    }
    EXPECT_EQ(L"8000", propsOf(y.props)[L"SamplesPerSecond"]);
    EXPECT_EQ(L"Audio", propsOf(y.props)[L"Type"]);
}

TEST_F(ConvolutionModuleTest, ImpulseKernelsCopyAndDelay)
{
    std::vector<float> x = randomBlock(64, 3);
    h.feed(kernel, {1.0f});
    h.feed(signal, x);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(x, h.lastSent(signal).data);

    h.feed(kernel, {0.0f, 1.0f});
    h.feed(signal, x);
    ASSERT_EQ(S_OK, h.process());
    std::vector<float> delayed(1, 0.0f);
    delayed.insert(delayed.end(), x.begin(), x.end());
    EXPECT_EQ(delayed, h.lastSent(signal).data);
}

TEST_F(ConvolutionModuleTest, TheKernelNeedsNoNewBlock)
{
    h.feed(kernel, {2.0f});
    h.feed(signal, {1.0f, 2.0f});
    ASSERT_EQ(S_OK, h.process());
    h.feed(signal, {3.0f});
    ASSERT_EQ(S_OK, h.process()) << "the kernel from before is used again";
    EXPECT_EQ(std::vector<float>{6.0f}, h.lastSent(signal).data);
    EXPECT_EQ(2, h.sendCount(signal));
}

TEST_F(ConvolutionModuleTest, NothingIsSentWithoutSignalOrKernel)
{
    h.feed(signal, randomBlock(128, 4));
    ASSERT_EQ(S_OK, h.process()) << "kernel never fed";
    h.feed(kernel, {1.0f});
    h.feedEmpty(signal);
    ASSERT_EQ(S_OK, h.process()) << "signal without data";
    ASSERT_EQ(S_OK, h.process()) << "signal not ready";
    EXPECT_EQ(0, h.sendCount(signal));
    EXPECT_EQ(128, h.outputSize(signal));
}

TEST_F(ConvolutionModuleTest, ResizesOnlyWhenTheLengthChanges)
{
    h.feed(kernel, randomBlock(33, 5));
    long adds = h.calls().count(SiteCall::AddOutput);
    for (int i = 0; i < 3; ++i) {
        h.feed(signal, randomBlock(128, 6 + i));
        ASSERT_EQ(S_OK, h.process());
    }
    EXPECT_EQ(adds + 1, h.calls().count(SiteCall::AddOutput));
    EXPECT_FALSE(h.wroteRetiredOutput(signal));
}

TEST_F(ConvolutionModuleTest, PanelOnlyReportsToTheEngine)
{
    long before = h.core().modifiedCount();
    long begins = h.calls().count(SiteCall::BeginUpdate);
    {
        PageHarness panel(h, dll, CLSID_ConvolutionModulePP);
        EXPECT_EQ(begins + 1, h.calls().count(SiteCall::BeginUpdate));
        EXPECT_EQ(begins + 1, h.calls().count(SiteCall::EndUpdate));
        EXPECT_EQ(before + 2, h.core().modifiedCount());
        EXPECT_EQ(1, h.core().lastModifiedFlag());
        EXPECT_EQ(S_OK, panel.apply());
        EXPECT_EQ(begins + 2, h.calls().count(SiteCall::EndUpdate));
    }
    EXPECT_EQ(0, h.core().updateDepth());
}

} // namespace
