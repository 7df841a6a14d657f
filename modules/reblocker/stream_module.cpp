#include "stream_module.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

using namespace modkit;

void StreamModule::OnInitialize()
{
    description = L"Converts signal sample rates and block sizes.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, outBlocksize);
    ResetOutput();
}

void StreamModule::ResetOutput()
{
    AddOutput(defaultPin_, outBlocksize);
    ring.Restart();
    PropagateProps(defaultPin_);
}

long StreamModule::InputBlockSize() { return GetInputBlock(defaultPin_).count; }

void StreamModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    if (IsInputReady(defaultPin_)) {
        Block in = GetInputBlock(defaultPin_);
        if (in.count != lastInputCount) {
            // New positions before the block is stored: nothing of the old size is sent.
            lastInputCount = in.count;
            ResetOutput();
        }
        ring.Store(in.data, in.count);
    }
    // Without a known input rate there is nothing to convert.
    if (inFrequency <= 0 || outFrequency <= 0) return;
    const long available = ring.Available();
    // 64 bits: a block size times a rate can pass the 32-bit range.
    const long long needed = static_cast<long long>(outBlocksize) * inFrequency / outFrequency;
    // At least one sample held: the interpolation never steps back before the read position.
    if (available < needed || available == 0) return;

    Block out = GetOutputBlock(defaultPin_);
    // The positions are measured for outBlocksize samples; a longer block would run past the input.
    Interpolate(out.data, std::min(out.count, outBlocksize));
    ring.Consume(static_cast<long>(needed));
    SendOutput(defaultPin_);
}

void StreamModule::Interpolate(float* out, long count) const
{
    for (long i = 0; i < count; ++i) {
        const double p64 = static_cast<double>(i) * inFrequency / outFrequency + ring.readPos;
        float p32 = static_cast<float>(p64);
        long lo = static_cast<long>(std::floor(p64));
        long hi = static_cast<long>(std::ceil(p64));
        // The sample at the write position is not written yet: the last held one stands in for it.
        // The test comes before the wrap, as the positions were measured.
        if (hi == ring.writePos) --hi;
        if (lo >= SampleRing<>::size) {
            lo -= SampleRing<>::size;
            p32 -= static_cast<float>(SampleRing<>::size);
        }
        if (hi >= SampleRing<>::size) hi -= SampleRing<>::size;
        const double a = ring.samples[lo], b = ring.samples[hi];
        out[i] = static_cast<float>(a + (b - a) * (static_cast<double>(p32) - lo));
    }
}

void StreamModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    // Leading digits with an optional sign; missing or not a number reads as 0.
    inFrequency = std::wcstol(GetProperty(document, L"SamplesPerSecond").c_str(), nullptr, 10);
    ResetOutput();
}

void StreamModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    SetProperty(document, L"SamplesPerSecond", outFrequency);
}

void StreamModule::OnSaveSettings(Settings& settings)
{
    settings.write(L"In Frequency", inFrequency);
    settings.write(L"Out Frequency", outFrequency);
    settings.write(L"Out Blocksize", outBlocksize);
}

void StreamModule::OnLoadSettings(Settings& settings)
{
    settings.read(L"In Frequency", inFrequency);
    // An output rate or block size that cannot be (zero, negative, no number) keeps the current one.
    settings.read(L"Out Frequency", outFrequency, positive);
    long blocksize = 0;
    settings.read(L"Out Blocksize", blocksize);
    if (blocksize > 0) outBlocksize = blocksize;
    if (blocksize != 0) ResetOutput();
}
