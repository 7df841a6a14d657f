#pragma once
// The engine's time base, in performance-counter ticks. Modules pace themselves against it through
// GetTime, so a graph runs in real time on the performance counter and as fast as the CPU allows on
// a clock that the engine advances itself.
#include <windows.h>

namespace vento {

class Clock {
public:
    virtual ~Clock() = default;
    virtual LONGLONG now() const = 0;
    virtual LONGLONG frequency() const = 0; // ticks per second
};

class PerformanceClock final : public Clock {
public:
    LONGLONG now() const override;
    LONGLONG frequency() const override;
};

// Time that moves only when told to. Starts at 0 with the performance counter's frequency, so
// modules that convert with the frequency they read themselves see consistent units.
class ManualClock final : public Clock {
public:
    ManualClock();
    LONGLONG now() const override { return now_; }
    LONGLONG frequency() const override { return frequency_; }

    void set(LONGLONG ticks) { now_ = ticks; }
    void advance(LONGLONG ticks) { now_ += ticks; }
    void setFrequency(LONGLONG ticksPerSecond) { frequency_ = ticksPerSecond; }

private:
    LONGLONG now_ = 0;
    LONGLONG frequency_;
};

// The offline clock: a virtual counter in performance-counter units that the engine moves itself.
// After every pass over the graph that sent nothing the engine advances it by the shortest block
// interval among the graph's sources (Engine::offlineInterval), so each paced source falls due within
// a few passes and never waits for wall time, and modules that send more than one block for one of
// their input's (Overlap) get the passes they would get in real time. Sources decide what is due
// from the clock alone, so the blocks are those of a real-time run.
class OfflineClock final : public Clock {
public:
    OfflineClock();
    LONGLONG now() const override { return now_; }
    LONGLONG frequency() const override { return frequency_; }
    void advance(LONGLONG ticks) { now_ += ticks; }

private:
    LONGLONG now_ = 0;
    LONGLONG frequency_;
};

} // namespace vento
