#pragma once
// FFT: each block of real samples becomes the complex spectrum of a real FFT ("Type" "FFT").
#include "identity.h"
#include "module/transform.h"

class FFTModule : public modkit::TransformModule<FFTModule, identity::ModuleInterface> {
public:
    // The FFT fetches both blocks before it asks whether one is ready.
    FFTModule()
        : TransformModule(identity::module, L"Perform an FFT.", L"Default", L"Default",
                          {.readiness = modkit::BlockProtocol::Readiness::AskAfterFetch})
    {
    }

protected:
    std::optional<long> OutputSize(const modkit::Block& in) override;
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
};
