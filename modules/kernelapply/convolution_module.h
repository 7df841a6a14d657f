#pragma once
// Convolution: each block on "Signal" is convolved in full with the current "Convolution" block.
#include "identity.h"
#include "module/module_base.h"

class ConvolutionModule : public modkit::Module<ConvolutionModule, identity::ModuleInterface> {
public:
    ConvolutionModule() : Module(identity::module) {}

protected:
    void OnInitialize() override;
    void OnProcess() override;

private:
    modkit::Pin signalPin_{L"Signal"}; // an input and an output share this name
    modkit::Pin kernelPin_{L"Convolution"};
};
