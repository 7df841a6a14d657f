#include "fir_module.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

using namespace modkit;

namespace {

// A cut-off the design accepts: one at or beyond either end of (0, 0.5) is brought just inside.
float keptCut(float cut)
{
    if (!(cut > 0.0f)) return FIRModule::lowestCut;
    return cut < 0.5f ? cut : FIRModule::highestCut;
}

// A whole, positive sample rate in `text`; 0 when it holds none.
long rateIn(const std::wstring& text)
{
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    if (end == text.c_str() || !(value >= 1.0 && value < 2147483648.0)) return 0;
    return static_cast<long>(value);
}

} // namespace

// An absent output is not filtered into, but the block is still sent.
FIRModule::FIRModule()
    : TransformModule(identity::module, L"Perform a FIR filter function.", L"Default", L"Default",
                      {.shortOutput = BlockProtocol::ShortOutput::Transform})
{
}

void FIRModule::OnInitialize()
{
    TransformModule::OnInitialize();
    Rebuild(LowPass, 0.001f, 0.49f, 20);
}

void FIRModule::Rebuild(long t, float a, float b, long n)
{
    // The new filter is designed and made ready first: a design that fails (out of memory) leaves
    // the filter and its fields as they were.
    const float low = keptCut(a), high = keptCut(b);
    // A band whose low edge is not below its high edge passes nothing: the design refuses it and
    // the coefficients stay 0.
    std::vector<double> designed(static_cast<size_t>(n), 0.0);
    if (t == HighPass)
        nspdFirHighpass(high, designed.data(), int(n), NSP_WinHamming, 1);
    else if (t == BandPass)
        nspdFirBandpass(low, high, designed.data(), int(n), NSP_WinHamming, 1);
    else
        nspdFirLowpass(high, designed.data(), int(n), NSP_WinHamming, 1);
    const std::vector<float> line(static_cast<size_t>(n), delayLineStart);
    const std::vector<float> coefficients(designed.begin(), designed.end());
    NSPFirState fresh{};
    if (nspsFirInit(coefficients.data(), int(n), line.data(), &fresh) != 0) throw std::bad_alloc();

    std::lock_guard hold(filterLock);
    nspFirFree(&filterState);
    filterState = fresh;
    filterType = t;
    taps = n;
    lowCut = low;
    highCut = high;
}

void FIRModule::Transform(const Block& in, const Block& out)
{
    if (out.count < in.count) return;
    std::lock_guard hold(filterLock);
    nspsbFir(&filterState, in.data, out.data, int(in.count));
}

void FIRModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != inputPin) return;
    // Without a usable rate (missing, no number, not above 0) the filter stays as it is: a rate of 0
    // would leave no hertz to keep.
    const long rate = rateIn(GetProperty(document, L"SamplesPerSecond"));
    if (rate <= 0 || rate == sampleRate) return;
    // The cut-offs keep their frequency in hertz, up to what the new rate allows.
    const float scale = static_cast<float>(sampleRate);
    const float high = std::min(scale * highCut / static_cast<float>(rate), rateChangeCeiling);
    const float low = std::min(scale * lowCut / static_cast<float>(rate), rateChangeCeiling);
    Rebuild(filterType, low, high, taps);
    sampleRate = rate;
}

void FIRModule::OnLoadSettings(Settings&, const LoadedSettings&) { Rebuild(filterType, lowCut, highCut, taps); }

void FIRModule::OnFinalRelease() { nspFirFree(&filterState); }
