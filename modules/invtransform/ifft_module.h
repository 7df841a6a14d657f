#pragma once
// Inverse FFT: each block of complex spectrum values becomes real samples ("Type" "Audio").
#include "identity.h"
#include "module/transform.h"

class iFFTModule : public modkit::TransformModule<iFFTModule, identity::ModuleInterface> {
public:
    // A resized output keeps the document it holds: the inverse FFT does not republish it there.
    iFFTModule()
        : TransformModule(identity::module, L"Perform an inverse FFT.", L"Default", L"Default",
                          {.onResize = modkit::BlockProtocol::OnResize::KeepDocument})
    {
    }

protected:
    std::optional<long> OutputSize(const modkit::Block& in) override;
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
};
