#pragma once
// FFT: each block of real samples becomes the complex spectrum of a real FFT ("Type" "FFT").
#include "identity.h"
#include "module/module_base.h"

class FFTModule : public modkit::Module<FFTModule, identity::ModuleInterface> {
public:
    FFTModule() : Module(identity::module) {}

protected:
    void OnInitialize() override;
    void OnProcess() override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    modkit::Pin defaultPin_{L"Default"};
};
