#include "filter_module.h"

#include <cwchar>

using namespace modkit;

void FilterModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Perform a frequency-domain band-pass filtering function.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
    blockSize = 128;
    sampleRate = 11025;
    hiCut = 64;
    loCut = 0;
    ramp = 1;
}

void FilterModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (std::wcscmp(pin.name(), L"Default") != 0) return;
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

void FilterModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    if (!IsInputReady(defaultPin_)) return;
    Block in = GetInputBlock(defaultPin_);
    Block out = GetOutputBlock(defaultPin_);
    blockSize = in.count;
    out = ResizeOutput(defaultPin_, out, in.count);
    if (out.count < in.count) return; // the engine did not give the storage asked for
    for (long i = 0; i < in.count / 2; ++i) {
        float g = Gain(i);
        out.data[2 * i] = g * in.data[2 * i];
        out.data[2 * i + 1] = g * in.data[2 * i + 1];
    }
    SendOutput(defaultPin_);
}
