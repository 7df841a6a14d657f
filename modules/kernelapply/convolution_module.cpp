#include "convolution_module.h"

#include "nsp.h"

using namespace modkit;

void ConvolutionModule::OnInitialize()
{
    TransformModule::OnInitialize();
    AddInput(kernelPin_, declaredSize);
}

// The kernel is whatever block the "Convolution" input holds now, new or not.
void ConvolutionModule::FetchSideInputs() { kernel_ = GetInputBlock(kernelPin_); }

std::optional<long> ConvolutionModule::OutputSize(const Block& in)
{
    // Without both a signal and a kernel there is nothing to convolve: nothing is resized or sent.
    if (in.empty() || kernel_.empty()) return std::nullopt;
    return in.count + kernel_.count - 1;
}

void ConvolutionModule::Transform(const Block& in, const Block& out)
{
    nspsConv(in.data, int(in.count), kernel_.data, int(kernel_.count), out.data);
}
