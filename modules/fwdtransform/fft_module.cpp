#include "fft_module.h"

#include <cwchar>
#include "module/spectrum.h"
#include "nsp.h"

using namespace modkit;

void FFTModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Perform an FFT.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
}

void FFTModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (std::wcscmp(pin.name(), L"Default") == 0) SetProperty(document, L"Type", L"FFT");
}

void FFTModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    Block in = GetInputBlock(defaultPin_);
    Block out = GetOutputBlock(defaultPin_);
    if (!IsInputReady(defaultPin_)) return;
    // A ready pin without a usable block: nothing to transform, so nothing is resized or sent.
    if (in.empty()) return;
    out = ResizeOutput(defaultPin_, out, in.count + 2);
    if (out.count < in.count + 2) return; // the engine did not give the storage asked for
    nspsRealFftNip(in.data, out.data, TransformOrder(in.count), NSP_Forw);
    SendOutput(defaultPin_);
}
