#pragma once
// Convolution: each block on "Signal" is convolved in full with the current "Convolution" block.
#include "identity.h"
#include "module/transform.h"

class ConvolutionModule : public modkit::TransformModule<ConvolutionModule, identity::ModuleInterface> {
public:
    // An input and an output share the name "Signal".
    ConvolutionModule() : TransformModule(identity::module, L"Perform 1-dimensional convolution.", L"Signal", L"Signal") {}

protected:
    void OnInitialize() override;
    void FetchSideInputs() override;
    std::optional<long> OutputSize(const modkit::Block& in) override;
    void Transform(const modkit::Block& in, const modkit::Block& out) override;

private:
    modkit::Pin kernelPin_{L"Convolution"};
    modkit::Block kernel_;
};
