#pragma once
// Stream: converts a signal to another sample rate and block size. Input samples go into a ring;
// whenever one output block's worth is held, one output block is made by straight-line
// interpolation between neighbouring input samples.
#include "identity.h"
#include "module/module_base.h"
#include "module/sample_ring.h"

class StreamModule : public modkit::Module<StreamModule, identity::ModuleInterface> {
public:
    StreamModule() : Module(identity::module) {}

    // Declares the output afresh for the current block size, restarts both ring positions and
    // republishes the output document (the panel's Apply runs it too).
    void ResetOutput();
    // Samples of the block on the input now; 0 when there is none.
    long InputBlockSize();

    // Read by Process, written by the panel inside the engine's update scope.
    modkit::SampleRing<> ring;
    long outFrequency = 11025; // samples per second
    long inFrequency = 11025;  // from the input's "SamplesPerSecond"
    long outBlocksize = 128;
    long lastInputCount = 0;

    // An output rate or block size that cannot be (zero, negative, no number, a block no engine
    // holds) keeps the current one.
    static constexpr modkit::Setting<StreamModule> declaredSettings[] = {
        {.name = L"In Frequency", .field = &StreamModule::inFrequency},
        {.name = L"Out Frequency", .field = &StreamModule::outFrequency, .accept = modkit::positive},
        {.name = L"Out Blocksize", .field = &StreamModule::outBlocksize, .accept = modkit::usableBlockSize},
    };

protected:
    void OnInitialize() override;
    void OnProcess() override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnLoadSettings(modkit::Settings& settings, const modkit::LoadedSettings& loaded) override;

private:
    void Interpolate(float* out, long count) const;

    modkit::Pin defaultPin_{L"Default"};
};
