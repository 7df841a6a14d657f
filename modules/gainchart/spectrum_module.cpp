#include "spectrum_module.h"

#include <cmath>

using namespace modkit;

void SpectrumModule::OnInitialize()
{
    description = L"Creates a frequency spectrum given an input signal and it's frequency.";
    AddInput(frequencyPin_, 1);
    AddInput(signalPin_, 25);
    AddOutput(defaultPin_, bins);
}

long SpectrumModule::BinOf(float hertz) noexcept
{
    // Whole hertz, truncated: 39.9 Hz is still bin 0.
    if (!(hertz >= 0.0f && hertz < float(bins * binHertz))) return -1;
    return static_cast<long>(hertz) / binHertz;
}

void SpectrumModule::OnProcess()
{
    if (!IsInputReady(signalPin_)) return;
    Block signal = GetInputBlock(signalPin_);
    Block out = GetOutputBlock(defaultPin_);
    // The latest frequency the engine holds, whether or not it came with this block.
    Block frequency = GetInputBlock(frequencyPin_);

    float peak = 0.0f;
    for (long i = 0; i < signal.count; ++i) {
        const float magnitude = std::fabs(signal.data[i]);
        if (magnitude > peak) peak = magnitude;
    }
    // A frequency that no bin charts, or an output without room for the bin, leaves the chart as it
    // is; the chart is sent all the same.
    const long bin = frequency.empty() ? -1 : BinOf(frequency.data[0]);
    if (bin >= 0 && bin < out.count) out.data[bin] = peak;
    SendOutput(defaultPin_);
}
