#pragma once
// SignalW: a real-time tone generator. It paces itself against the engine clock and sends one block
// of sine, square, impulse or white noise whenever a block's duration has passed.
#include <bit>
#include <cstdint>
#include "identity.h"
#include "module/module_base.h"
#include "nsp.h"

// Waveform codes as stored in the settings; any code but sine, impulse and white gives the square.
enum SignalShape : long { ShapeSine = 0, ShapeSquare = 1, ShapeImpulse = 2, ShapeWhite = 4 };

// Phase arithmetic runs in single precision on these rounded constants (not the exact values), so
// that saved phase steps keep producing the same frequencies.
inline constexpr float twoPi = std::bit_cast<float>(std::uint32_t{0x40C90FD0}); // 6.28318
inline constexpr float pi = std::bit_cast<float>(std::uint32_t{0x40490FD0}); // 3.14159
inline constexpr float sixCycles = std::bit_cast<float>(std::uint32_t{0x4216CBDC}); // 6 x twoPi
inline constexpr float inverseTwoPi = 0.15915507f;

class SignalWModule : public modkit::Module<SignalWModule, identity::ModuleInterface> {
public:
    SignalWModule() : Module(identity::module) {}

    // Starts the noise sequence over, bounded by the current amplitude.
    void RestartNoise() noexcept;
    // Republishes the output document (after a sample-rate change).
    void PublishOutputProps() { PropagateProps(defaultPin_); }

    // Read by Process, written by the panel inside the engine's update scope.
    long restartPending = 0; // the next Process re-anchors the pacing
    long sampleRate = 11025;
    long blockSize = 128;
    LONGLONG ticksPerBlock = 0; // engine-clock ticks one block lasts
    LONGLONG lastDue = 0; // engine-clock time at which the previous block fell due
    float phaseStep = sixCycles / 128; // radians per sample
    float phase = 0.0f; // radians, kept in 0 to twoPi
    float amplitude = 0.5f; // peak value; the DC value at frequency 0
    long shape = ShapeSine;
    NSPSRandUniState noiseState{};

    // "Phase" is saved but not loaded: a loaded generator starts its turn where it stands. A step
    // that is no number would leave the phase undefined for good; sizes and rates that cannot be
    // (zero, negative, no number, a block no engine holds) keep the current ones, as the pacing
    // divides by the rate and the output is sized by the block size.
    static constexpr modkit::Setting<SignalWModule> declaredSettings[] = {
        {.name = L"Amp", .field = &SignalWModule::amplitude, .loadAt = 1},
        {.name = L"Freq", .field = &SignalWModule::phaseStep, .accept = modkit::finite, .loadAt = 2}, // radians per sample
        {.name = L"Phase", .field = &SignalWModule::phase, .saveOnly = true},
        {.name = L"Shape", .field = &SignalWModule::shape, .loadAt = 3},
        {.name = L"SampleRate", .field = &SignalWModule::sampleRate, .accept = modkit::positive, .loadAt = 5},
        {.name = L"BlockSize", .field = &SignalWModule::blockSize, .accept = modkit::usableBlockSize, .loadAt = 4},
    };

protected:
    void OnInitialize() override;
    void OnStart() override;
    void OnProcess() override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnLoadSettings(modkit::Settings& settings, const modkit::LoadedSettings& loaded) override;

private:
    LONGLONG TicksPerBlock() const;
    void Fill(float* samples, long count);
    void AdvancePhase() noexcept;

    modkit::Pin frequencyPin_{L"Frequency"};
    modkit::Pin defaultPin_{L"Default"};
};
