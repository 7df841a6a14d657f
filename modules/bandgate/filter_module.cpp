#include "filter_module.h"

#include <cwchar>

using namespace modkit;

void FilterModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != L"Default") return;
    // Empty or non-numeric text reads as 0, as a plain text-to-integer conversion gives.
    sampleRate = std::wcstol(GetProperty(document, L"SamplesPerSecond").c_str(), nullptr, 10);
}

float FilterModule::Gain(long i) const noexcept
{
    float g = 1.0f;
    if (i < loCut) {
        g = 1.0f - float(loCut - i) / float(ramp);
        if (g < 0.0f) g = 0.0f;
    }
    if (i > hiCut) {
        g = 1.0f - float(i - hiCut) / float(ramp);
        if (g < 0.0f) g = 0.0f;
    }
    return g;
}

std::optional<long> FilterModule::OutputSize(const Block& in)
{
    blockSize = in.count;
    return in.count;
}

void FilterModule::Transform(const Block& in, const Block& out)
{
    for (long i = 0; i < in.count / 2; ++i) {
        float g = Gain(i);
        out.data[2 * i] = g * in.data[2 * i];
        out.data[2 * i + 1] = g * in.data[2 * i + 1];
    }
}
