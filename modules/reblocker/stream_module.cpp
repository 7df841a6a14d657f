#include "stream_module.h"

#include <algorithm>
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
    // Every position of the block must lie on a held sample. Up-converting, the last one,
    // (B - 1) x in / out samples on, can reach past the truncated span: 16000 to 44100 in blocks of
    // 128 advances by 46 samples, but its last position is 46.08, so sample 46 must be held too.
    const long long lastHeld = outBlocksize > 0 ? static_cast<long long>(outBlocksize - 1) * inFrequency / outFrequency : 0;
    if (available < needed || available <= lastHeld) return;

    Block out = GetOutputBlock(defaultPin_);
    // The positions are measured for outBlocksize samples; a longer block would run past the input.
    Interpolate(out.data, std::min(out.count, outBlocksize));
    ring.Consume(static_cast<long>(needed));
    SendOutput(defaultPin_);
}

void StreamModule::Interpolate(float* out, long count) const
{
    for (long i = 0; i < count; ++i) {
        // The position in extended precision; its whole part and whether it has a fraction from the
        // integers themselves, which is what floor and ceil of it give, without their cost.
        const long long span = static_cast<long long>(i) * inFrequency;
        const long double p64 = static_cast<long double>(span) / outFrequency + ring.readPos;
        float p32 = static_cast<float>(p64);
        long lo = ring.readPos + static_cast<long>(span / outFrequency);
        long hi = lo + (span % outFrequency != 0 ? 1 : 0);
        // The sample at the write position is not written yet: the last held one stands in for it.
        // Compared once wrapped, so that a block reaching across the ring's end is caught too.
        if (SampleRing<>::Wrap(hi) == ring.writePos) --hi;
        if (lo >= SampleRing<>::size) {
            lo -= SampleRing<>::size;
            p32 -= static_cast<float>(SampleRing<>::size);
        }
        if (hi >= SampleRing<>::size) hi -= SampleRing<>::size;
        const long double a = ring.samples[static_cast<size_t>(lo)], b = ring.samples[static_cast<size_t>(hi)];
        out[i] = static_cast<float>(a + (b - a) * (static_cast<long double>(p32) - lo));
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

void StreamModule::OnLoadSettings(Settings&, const LoadedSettings& loaded)
{
    // Any block size but 0 restarts the output, also one that was refused.
    if (Settings::whole(loaded.stored(L"Out Blocksize")).value_or(0) != 0) ResetOutput();
}
