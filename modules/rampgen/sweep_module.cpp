#include "sweep_module.h"

using namespace modkit;

LONGLONG SweepModule::TicksPerBlock() const
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<LONGLONG>(blockSize) * frequency.QuadPart / sampleRate;
}

void SweepModule::OnInitialize()
{
    description = L"Generates a slow sweep signal for use with Signal and Spectrum modules.";
    AddOutput(defaultPin_, 1);
    ticksPerBlock = TicksPerBlock();
}

// The pacing starts again from now; the sweep goes on from the value where it stopped.
void SweepModule::OnStart()
{
    PropagateProps(defaultPin_);
    check(site->GetTime(&lastDue));
}

void SweepModule::OnProcess()
{
    Block out = GetOutputBlock(defaultPin_);
    LONGLONG now = 0;
    check(site->GetTime(&now));
    if (now <= lastDue + ticksPerBlock) return;
    // Exactly one interval later than the last due time, so that a late engine catches up.
    ticksPerBlock = TicksPerBlock();
    lastDue += ticksPerBlock;
    // A block the engine gives without room for the value is sent as it is.
    if (!out.empty()) out.data[0] = sweepValue;
    SendOutput(defaultPin_);
    sweepValue += step;
    if (sweepValue > top) sweepValue = 0.0f;
}
