#include "ifft_module.h"

#include "module/spectrum.h"
#include "nsp.h"

using namespace modkit;

void iFFTModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin == L"Default") SetProperty(document, L"Type", L"Audio");
}

std::optional<long> iFFTModule::OutputSize(const Block& in)
{
    // A spectrum of one bin or less holds no samples: nothing to resize, transform or send.
    long samples = in.count - 2;
    if (samples <= 0) return std::nullopt;
    return samples;
}

void iFFTModule::Transform(const Block& in, const Block& out)
{
    // 2^order divides the sample count, so the transform stays inside the output (255 samples give
    // order 0, not the 256 points that would not fit).
    nspsCcsFftNip(in.data, out.data, TransformOrder(in.count - 2), NSP_Inv);
}
