#include "signalw_module.h"

#include <cmath>
#include <cwchar>
#include <optional>

using namespace modkit;

namespace {

// The whole-number part of a stored float; nothing when it has none that fits (NaN, infinite, huge).
std::optional<long> wholeNumber(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f)) return std::nullopt;
    return static_cast<long>(value);
}

void writeFloat(ISettingsStore* store, const wchar_t* name, float value)
{
    check(store->WriteFloat(Bstr(name).get(), value));
}

float readFloat(ISettingsStore* store, const wchar_t* name, float current)
{
    float value = current;
    check(store->ReadFloat(Bstr(name).get(), &value));
    return value;
}

} // namespace

void SignalWModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Creates Sine, Square, impulse, and white noise signals.";
    blockSize = 128;
    sampleRate = 11025;
    AddInput(frequencyPin_, 1);
    AddOutput(defaultPin_, blockSize);
    lastDue = 0;
    ticksPerBlock = 0;
    amplitude = 0.5f;
    phaseStep = sixCycles / static_cast<float>(blockSize);
    phase = 0.0f;
    restartPending = 0;
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
    if (std::wcscmp(pin.name(), defaultPin_.name()) != 0) return;
    wchar_t rate[16];
    swprintf(rate, 16, L"%ld", sampleRate);
    SetProperty(document, L"SamplesPerSecond", rate);
    SetProperty(document, L"Type", L"Audio");
    SetProperty(document, L"Range", L"-1,1");
}

void SignalWModule::OnSaveSettings(ISettingsStore* store)
{
    if (!store) return;
    writeFloat(store, L"Amp", amplitude);
    writeFloat(store, L"Freq", phaseStep); // radians per sample, not hertz
    writeFloat(store, L"Phase", phase);
    writeFloat(store, L"Shape", static_cast<float>(shape));
    writeFloat(store, L"SampleRate", static_cast<float>(sampleRate));
    writeFloat(store, L"BlockSize", static_cast<float>(blockSize));
}

void SignalWModule::OnLoadSettings(ISettingsStore* store)
{
    if (!store) return;
    amplitude = readFloat(store, L"Amp", amplitude);
    if (float step = readFloat(store, L"Freq", phaseStep); std::isfinite(step)) phaseStep = step;
    if (auto code = wholeNumber(readFloat(store, L"Shape", static_cast<float>(shape)))) shape = *code;
    // Sizes and rates that cannot be (zero, negative, not a number) keep the current ones: the
    // pacing divides by the rate and the output is sized by the block size.
    if (auto size = wholeNumber(readFloat(store, L"BlockSize", static_cast<float>(blockSize))); size && *size > 0)
        blockSize = *size;
    long oldRate = sampleRate;
    if (auto rate = wholeNumber(readFloat(store, L"SampleRate", static_cast<float>(sampleRate))); rate && *rate > 0)
        sampleRate = *rate;
    // The document must not go on announcing the old rate until the block size happens to change.
    if (sampleRate != oldRate) PropagateProps(defaultPin_);
    // "Phase" is saved but not loaded: a loaded generator starts its turn where it stands.
    RestartNoise();
}
