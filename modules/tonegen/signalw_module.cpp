#include "signalw_module.h"

#include <cmath>

using namespace modkit;

void SignalWModule::OnInitialize()
{
    description = L"Creates Sine, Square, impulse, and white noise signals.";
    AddInput(frequencyPin_, 1);
    AddOutput(defaultPin_, blockSize);
    RestartNoise();
    PropagateProps(defaultPin_);
}

void SignalWModule::OnStart() { restartPending = 1; }

void SignalWModule::RestartNoise() noexcept { nspsRandUniInit(0.0f, -amplitude, amplitude, &noiseState); }

LONGLONG SignalWModule::TicksPerBlock() const
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<LONGLONG>(blockSize) * frequency.QuadPart / sampleRate;
}

void SignalWModule::OnProcess()
{
    if (restartPending) {
        ticksPerBlock = TicksPerBlock();
        check(site->GetTime(&lastDue));
        restartPending = 0;
    }
    if (IsInputReady(frequencyPin_)) {
        Block in = GetInputBlock(frequencyPin_);
        // A value that is no frequency at all would leave the phase undefined for good: ignored.
        if (!in.empty() && std::isfinite(in.data[0]))
            phaseStep = in.data[0] * twoPi / static_cast<float>(sampleRate);
    }
    LONGLONG now = 0;
    check(site->GetTime(&now));
    if (now <= lastDue + ticksPerBlock) return;

    Block out = ResizeOutput(defaultPin_, GetOutputBlock(defaultPin_), blockSize);
    Fill(out.data, out.count);
    SendOutput(defaultPin_);
    // Exactly one block later than the last due time, so that a late engine catches up.
    ticksPerBlock = TicksPerBlock();
    lastDue += ticksPerBlock;
}

void SignalWModule::Fill(float* samples, long count)
{
    if (count <= 0) return;
    if (shape == ShapeWhite) {
        nspsbRandUni(&noiseState, samples, static_cast<int>(count));
    } else {
        for (long j = 0; j < count; ++j) {
            float value;
            if (phaseStep == 0.0f)
                value = amplitude;
            else if (shape == ShapeSine)
                value = amplitude * std::sin(phase);
            else if (shape == ShapeImpulse)
                value = j == count / 2 ? 10.0f * amplitude : 0.0f;
            else
                value = phase > pi ? amplitude : -amplitude;
            samples[j] = value;
            AdvancePhase();
        }
    }
    for (long j = 0; j < count; ++j) {
        if (samples[j] > 1.0f) samples[j] = 1.0f;
        if (samples[j] < -1.0f) samples[j] = -1.0f;
    }
}

void SignalWModule::AdvancePhase() noexcept
{
    phase += phaseStep;
    if (phase > twoPi) phase -= twoPi;
    // A step beyond one turn or backwards (a negative frequency) needs a full reduction; without it
    // the phase would run away until float steps no longer move it and the tone freezes.
    if (phase >= 0.0f && phase <= twoPi) return;
    phase = std::fmod(phase, twoPi);
    if (phase < 0.0f) phase += twoPi;
    if (!(phase >= 0.0f && phase <= twoPi)) phase = 0.0f; // not a number: start the turn again
}

void SignalWModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    SetProperty(document, L"SamplesPerSecond", sampleRate);
    SetProperty(document, L"Type", L"Audio");
    SetProperty(document, L"Range", L"-1,1");
}

void SignalWModule::OnLoadSettings(Settings&, const LoadedSettings& loaded)
{
    // The document must not go on announcing the old rate until the block size happens to change.
    if (loaded.changed(L"SampleRate")) PropagateProps(defaultPin_);
    RestartNoise();
}
