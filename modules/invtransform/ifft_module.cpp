#include "ifft_module.h"

#include <cwchar>
#include "module/spectrum.h"
#include "nsp.h"

using namespace modkit;

void iFFTModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Perform an inverse FFT.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
}

void iFFTModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (std::wcscmp(pin.name(), L"Default") == 0) SetProperty(document, L"Type", L"Audio");
}

void iFFTModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    if (!IsInputReady(defaultPin_)) return;
    Block in = GetInputBlock(defaultPin_);
    Block out = GetOutputBlock(defaultPin_);
    // A spectrum of one bin or less holds no samples: nothing to resize, transform or send.
    long samples = in.count - 2;
    if (samples <= 0) return;
    // The output is resized without republishing its document.
    if (out.count != samples) {
        AddOutput(defaultPin_, samples);
        out = GetOutputBlock(defaultPin_);
    }
    // The check keeps the transform inside the block should the engine hand out less than asked for.
    int order = TransformOrder(samples);
    if (out.count < (1L << order)) return;
    nspsCcsFftNip(in.data, out.data, order, NSP_Inv);
    SendOutput(defaultPin_);
}
