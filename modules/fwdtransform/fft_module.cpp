#include "fft_module.h"

#include "module/spectrum.h"
#include "nsp.h"

using namespace modkit;

void FFTModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin == L"Default") SetProperty(document, L"Type", L"FFT");
}

std::optional<long> FFTModule::OutputSize(const Block& in)
{
    // A ready pin without a usable block: nothing to transform, so nothing is resized or sent.
    if (in.empty()) return std::nullopt;
    return in.count + 2;
}

void FFTModule::Transform(const Block& in, const Block& out)
{
    nspsRealFftNip(in.data, out.data, TransformOrder(in.count), NSP_Forw);
}
