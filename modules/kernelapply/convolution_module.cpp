#include "convolution_module.h"

#include "nsp.h"

using namespace modkit;

void ConvolutionModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Perform 1-dimensional convolution.";
    AddInput(signalPin_, 128);
    AddOutput(signalPin_, 128);
    AddInput(kernelPin_, 128);
}

void ConvolutionModule::OnProcess()
{
    CheckInputProps(signalPin_);
    if (!IsInputReady(signalPin_)) return;
    // The kernel is whatever block the "Convolution" input holds now, new or not.
    Block x = GetInputBlock(signalPin_);
    Block h = GetInputBlock(kernelPin_);
    Block y = GetOutputBlock(signalPin_);
    // Without both a signal and a kernel there is nothing to convolve: nothing is resized or sent.
    if (x.empty() || h.empty()) return;
    long size = x.count + h.count - 1;
    y = ResizeOutput(signalPin_, y, size);
    if (y.count < size) return; // the engine did not give the storage asked for
    nspsConv(x.data, int(x.count), h.data, int(h.count), y.data);
    SendOutput(signalPin_);
}
