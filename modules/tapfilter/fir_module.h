#pragma once
// FIR: a finite-impulse-response low, high or band pass, designed with a Hamming window and run on
// from block to block. Cut-offs are kept normalised to the input's sample rate (0.5 is half of it);
// the panel shows and sets them in hertz.
#include <mutex>
#include "identity.h"
#include "module/transform.h"
#include "nsp.h"

enum FilterType : long { LowPass = 1, HighPass = 2, BandPass = 3 };

// Held while the filter state is used or replaced: Process filters under it and every rebuild,
// the panel's included, replaces the state under it. Recursive, so a rebuild may run inside it.
class FilterLock {
public:
    FilterLock() noexcept { InitializeCriticalSection(&section_); }
    ~FilterLock() { DeleteCriticalSection(&section_); }
    FilterLock(const FilterLock&) = delete;
    FilterLock& operator=(const FilterLock&) = delete;
    void lock() noexcept { EnterCriticalSection(&section_); }
    void unlock() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class FIRModule : public modkit::TransformModule<FIRModule, identity::ModuleInterface> {
public:
    FIRModule();

    static constexpr long maxTaps = 1000; // the design's buffers
    // Cut-offs are kept inside (0, 0.5) of the sample rate: at 0 or at half the rate no filter of
    // the kind exists. One given at or beyond an end becomes these.
    static constexpr float lowestCut = 0.001f;
    static constexpr float highestCut = 0.499f;
    // What a new input rate may push a cut-off up to.
    static constexpr float rateChangeCeiling = 0.49f;
    // Every slot of the delay line starts at this, not at silence: a rebuilt filter is never quite
    // silent on a silent input.
    static constexpr float delayLineStart = 0.01f;

    // Replaces the filter: type t (1 to 3), cut-offs a and b (kept inside (0, 0.5)), n taps
    // (1 to maxTaps), with a fresh delay line. Holds the filter lock.
    void Rebuild(long t, float a, float b, long n);

    // Read by Process, written by the panel inside the engine's update scope.
    long sampleRate = 11025; // of the input, from its "SamplesPerSecond"; always above 0
    FilterLock filterLock;
    long filterType = LowPass;
    long taps = 20;
    float lowCut = 0.001f; // band pass only
    float highCut = 0.49f; // low and high pass; the band's upper edge
    NSPFirState filterState{};

    // "Taps" is read first: a store without a usable filter length holds no filter, and nothing of
    // it is taken; a type the design does not know keeps the current filter too.
    static constexpr modkit::Setting<FIRModule> declaredSettings[] = {
        {.name = L"High", .field = &FIRModule::highCut, .accept = modkit::finite, .loadAt = 2},
        {.name = L"Low", .field = &FIRModule::lowCut, .accept = modkit::finite, .loadAt = 3},
        {.name = L"Type", .field = &FIRModule::filterType, .accept = modkit::Accept::within(LowPass, BandPass), .loadAt = 4, .stop = modkit::Stop::IfRefused},
        {.name = L"Taps", .field = &FIRModule::taps, .accept = modkit::Accept::within(1, maxTaps), .loadAt = 1, .stop = modkit::Stop::IfRefused},
    };

protected:
    void OnInitialize() override;
    std::optional<long> OutputSize(const modkit::Block& in) override { return in.count; }
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnLoadSettings(modkit::Settings& settings, const modkit::LoadedSettings& loaded) override;
    void OnFinalRelease() override;
};
