#include "ifft_module.h"

#include <cwchar>
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
    // The order of the sample count: its trailing zero bits, at most 10. The transform of 2^order
    // samples then always fits the output (2^order divides the count, or the count is a multiple of
    // 1024); the check keeps it so should the engine hand out less storage than asked for.
    int order = 0;
    while (order < 10 && (samples & (1L << order)) == 0) ++order;
    if (out.count < (1L << order)) return;
    nspsCcsFftNip(in.data, out.data, order, NSP_Inv);
    SendOutput(defaultPin_);
}
