#pragma once
// Sweep: a slow sawtooth of frequencies, 0 to 4000 Hz in steps of 10, one value every 128 / 11025 s
// by the engine's clock. It drives SignalW's "Frequency" and tells the Spectrum module what is being
// driven.
#include "identity.h"
#include "module/module_base.h"

class SweepModule : public modkit::Module<SweepModule, identity::ModuleInterface> {
public:
    SweepModule() : Module(identity::module) {}

    static constexpr float step = 10.0f;
    static constexpr float top = 4000.0f; // sent, then the sweep starts again at 0

    float sweepValue = 0.0f; // the next value to send, in hertz
    LONGLONG ticksPerBlock = 0; // engine-clock ticks between two values
    LONGLONG lastDue = 0; // engine-clock time at which the previous value fell due
    const long blockSize = 128; // the pacing only: no property of the output
    const long sampleRate = 11025;

protected:
    void OnInitialize() override;
    void OnStart() override;
    void OnProcess() override;

private:
    LONGLONG TicksPerBlock() const;

    modkit::Pin defaultPin_{L"Default"};
};
