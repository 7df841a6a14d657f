#pragma once
// Filter: a band-pass in the frequency domain. Every bin of a spectrum is multiplied by a gain that
// is 1 from loCut to hiCut and falls to 0 over `ramp` bins on either side.
#include "identity.h"
#include "module/transform.h"

class FilterModule : public modkit::TransformModule<FilterModule, identity::ModuleInterface> {
public:
    FilterModule()
        : TransformModule(identity::module, L"Perform a frequency-domain band-pass filtering function.", L"Default",
                          L"Default")
    {
    }

    // Gain of bin `i` for the current band; the high-side rule wins where both sides apply.
    float Gain(long i) const noexcept;

    // Read by Process, written by the panel inside the engine's update scope.
    long blockSize = 128; // floats of the last ready input block
    long sampleRate = 11025;
    long hiCut = 64;
    long loCut = 0;
    long ramp = 1;

protected:
    std::optional<long> OutputSize(const modkit::Block& in) override;
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
};
