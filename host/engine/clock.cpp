#include "host/engine/clock.h"

namespace vento {

namespace {
LONGLONG counterFrequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f); // cannot fail on any supported system
    return f.QuadPart;
}
} // namespace

LONGLONG PerformanceClock::now() const
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

LONGLONG PerformanceClock::frequency() const { return counterFrequency(); }

ManualClock::ManualClock() : frequency_(counterFrequency()) {}

OfflineClock::OfflineClock() : frequency_(counterFrequency()) {}

} // namespace vento
