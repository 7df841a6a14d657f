#pragma once
// Inverse FFT: each block of complex spectrum values becomes real samples ("Type" "Audio").
#include "identity.h"
#include "module/module_base.h"

class iFFTModule : public modkit::Module<iFFTModule, identity::ModuleInterface> {
public:
    iFFTModule() : Module(identity::module) {}

protected:
    void OnInitialize() override;
    void OnProcess() override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    modkit::Pin defaultPin_{L"Default"};
};
