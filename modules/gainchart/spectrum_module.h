#pragma once
// Spectrum: a gain chart built from a sweep. For every block on "Signal" the block's peak goes into
// the chart bin of the frequency now on "Frequency"; bin k covers 40 k to 40 k + 39 Hz, 101 bins in
// all. The chart lives in the output block itself, which the engine keeps from call to call.
#include "identity.h"
#include "module/module_base.h"

class SpectrumModule : public modkit::Module<SpectrumModule, identity::ModuleInterface> {
public:
    SpectrumModule() : Module(identity::module) {}

    static constexpr long bins = 101;
    static constexpr long binHertz = 40;

    // The bin that charts `hertz`, or -1 when no bin does (not a number, below 0, 4040 Hz and up).
    static long BinOf(float hertz) noexcept;

protected:
    void OnInitialize() override;
    void OnProcess() override;

private:
    modkit::Pin frequencyPin_{L"Frequency"};
    modkit::Pin signalPin_{L"Signal"};
    modkit::Pin defaultPin_{L"Default"};
};
