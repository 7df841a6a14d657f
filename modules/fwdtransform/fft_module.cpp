#include "fft_module.h"

#include <cwchar>
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

// The transform order of an n-sample block: its trailing zero bits, at most 10. Blocks that are not
// a power of two, or longer than 1024, are transformed over their first 2^order samples.
static int transformOrder(long n)
{
    int order = 0;
    while (order < 10 && (n & (1L << order)) == 0) ++order;
    return order;
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
    nspsRealFftNip(in.data, out.data, transformOrder(in.count), NSP_Forw);
    SendOutput(defaultPin_);
}
