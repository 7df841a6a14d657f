#include "magnitude_module.h"

#include <cmath>

using namespace modkit;

void MagnitudeModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Takes the log(magintude) of a complex signal.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
}

void MagnitudeModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    if (!IsInputReady(defaultPin_)) return;
    Block in = GetInputBlock(defaultPin_);
    Block out = GetOutputBlock(defaultPin_);
    long bins = in.count / 2; // an odd last float is ignored
    out = ResizeOutput(defaultPin_, out, bins);
    const long m = out.count;
    if (m < bins) return; // the engine did not give the storage asked for
    for (long i = 0; i < bins; ++i) {
        long double re = in.data[2 * i];
        long double im = in.data[2 * i + 1];
        // The log of the power itself: 0.1 ln(power) is 0.2 ln(magnitude), no square root needed.
        float value = static_cast<float>(0.1L * std::log(re * re + im * im) + 0.5L * i / m);
        if (value > 1.0f) value = 1.0f;
        if (value < -1.0f) value = -1.0f; // a zero bin gives minus infinity
        out.data[i] = value;
    }
    SendOutput(defaultPin_);
}
