// The Spectrum module in its real server DLL: each signal block's peak lands in the bin of the
// frequency in force, the chart lives on in the output block, and frequencies, inputs or outputs
// that give no bin leave the chart as it was, still sent.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <limits>
#include "gainchart_idl.h"

namespace {

constexpr wchar_t dll[] = L"gainchart.dll";
constexpr wchar_t out[] = L"Default";
constexpr wchar_t frequencyIn[] = L"Frequency";
constexpr wchar_t signalIn[] = L"Signal";

class SpectrumTest : public vento::test::ModuleTest {
protected:
    SpectrumTest() : ModuleTest(dll, CLSID_SpectrumModule) {}

    // One signal block measured at `hertz` (a new frequency block first, unless nullopt).
    const std::vector<float>& chart(std::optional<float> hertz, const std::vector<float>& signal)
    {
        if (hertz) h.feed(frequencyIn, {*hertz});
        h.feed(signalIn, signal);
        const long before = h.sendCount(out);
        EXPECT_EQ(S_OK, h.process());
        EXPECT_EQ(before + 1, h.sendCount(out)) << "the chart is sent after every signal block";
        return h.lastSent(out).data;
    }

};

TEST_F(SpectrumTest, PinsAreFrequencySignalAndA101BinChart)
{
    EXPECT_EQ(101, h.outputSize(out));
    EXPECT_NO_THROW(h.inputSlot(frequencyIn));
    EXPECT_NO_THROW(h.inputSlot(signalIn));
    // Nothing to measure, nothing sent.
    h.feed(frequencyIn, {100.0f});
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(out));
}

TEST_F(SpectrumTest, EachBlocksPeakGoesIntoTheBinOfItsWholeHertz)
{
    const struct { float hertz; size_t bin; } rows[] = {{0.0f, 0}, {39.9f, 0}, {40.0f, 1}, {1234.5f, 30}, {4000.0f, 100}, {4039.9f, 100}};
    float value = 0.0f;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.hertz << " Hz");
        value += 0.0625f;
        const std::vector<float>& c = chart(row.hertz, {0.01f, -value, value / 2});
        ASSERT_EQ(101u, c.size());
        EXPECT_EQ(value, c[row.bin]);
    }
    // A signal block of -0.8, 0.3, 0.5 charts 0.8; an empty one charts 0.
    EXPECT_EQ(0.8f, chart(2000.0f, {-0.8f, 0.3f, 0.5f})[50]);
    h.feed(frequencyIn, {2000.0f});
    h.feedEmpty(signalIn);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0.0f, h.lastSent(out).data[50]);
}

TEST_F(SpectrumTest, TheChartIsKeptAndTheLatestFrequencyCountsForEveryBlock)
{
    chart(400.0f, {0.25f});
    chart(800.0f, {0.5f});
    // No new frequency: the one the engine holds still counts, and the bin takes the last peak.
    const std::vector<float>& c = chart(std::nullopt, {0.75f});
    EXPECT_EQ(0.25f, c[10]) << "other bins keep their values";
    EXPECT_EQ(0.75f, c[20]);
    for (size_t k = 0; k < c.size(); ++k)
        if (k != 10 && k != 20) {
            ASSERT_EQ(0.0f, c[k]) << "bin " << k;
        }
}

TEST_F(SpectrumTest, FrequenciesNoBinChartsLeaveTheChartAsItWas)
{
    chart(1000.0f, {0.5f});
    const std::vector<float> before = h.lastSent(out).data;
    const float inf = std::numeric_limits<float>::infinity();
    for (float hertz : {std::nanf(""), -0.5f, -40.0f, 4040.0f, 1e9f, inf, -inf}) {
        SCOPED_TRACE(testing::Message() << hertz << " Hz");
        EXPECT_EQ(before, chart(hertz, {0.9f}));
    }
}

TEST_F(SpectrumTest, AnAbsentFrequencyChartsNothingButTheBlockIsSent)
{
    // Before any frequency arrived.
    const std::vector<float>& c = chart(std::nullopt, {0.9f});
    for (float v : c) ASSERT_EQ(0.0f, v);
    h.feedNullRecord(frequencyIn);
    h.feed(signalIn, {0.9f});
    ASSERT_EQ(S_OK, h.process());
    h.feedWithStatus(frequencyIn, 1, {1000.0f});
    h.feed(signalIn, {0.9f});
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(3, h.sendCount(out));
    for (float v : h.lastSent(out).data) ASSERT_EQ(0.0f, v);
}

TEST_F(SpectrumTest, AnOutputShorterThanTheBinIsNotWrittenPastItsEnd)
{
    vento::OutputPin* pin = h.core().findOutput(out);
    pin->resize(26); // bins 0 to 25
    EXPECT_EQ(0.5f, chart(1039.0f, {0.5f})[25]);
    const std::vector<float>& c = chart(1040.0f, {0.75f}); // bin 26: just past the end
    EXPECT_EQ(26u, c.size());
    EXPECT_EQ(0.5f, c[25]);
    pin->resize(0); // no block at all
    EXPECT_TRUE(chart(0.0f, {0.75f}).empty());
}

TEST_F(SpectrumTest, PublishesNoDocument)
{
    h.feed(frequencyIn, {1000.0f}, L"<PROPS><Type>Audio</Type></PROPS>");
    h.feed(signalIn, {0.5f}, L"<PROPS><Type>Audio</Type><SamplesPerSecond>11025</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    const std::wstring& props = h.lastSent(out).props;
    EXPECT_EQ(std::wstring::npos, props.find(L"Type")) << "the chart carries no input's document";
    EXPECT_EQ(std::wstring::npos, props.find(L"SamplesPerSecond"));
}

TEST_F(SpectrumTest, EngineFailuresEndProcessWithTheirResult)
{
    for (SiteCall call : {SiteCall::GetInputBlock, SiteCall::GetOutputBlock, SiteCall::SendOutput}) {
        h.feed(frequencyIn, {1000.0f});
        h.feed(signalIn, {0.5f});
        h.failCall(call, E_OUTOFMEMORY);
        EXPECT_EQ(E_OUTOFMEMORY, h.process()) << call;
    }
    EXPECT_EQ(0, h.sendCount(out));
}

} // namespace
