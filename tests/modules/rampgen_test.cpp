// The Sweep module in its real server DLL, paced by the engine's manual clock: the values it sends,
// when it sends them, what Start does to them, and an output the engine gives without room.
#include <initguid.h>
#include "module_test.h"
#include "rampgen_idl.h"

namespace {

constexpr wchar_t dll[] = L"rampgen.dll";
constexpr wchar_t out[] = L"Default";

// Engine-clock ticks between two values: 128 samples at 11025 per second.
LONGLONG interval()
{
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return 128 * f.QuadPart / 11025;
}

class SweepTest : public vento::test::ModuleTest {
protected:
    SweepTest() : ModuleTest(dll, CLSID_SweepModule) {}

    // Starts the sweep at clock reading t0; the first value then falls due after t0 + interval.
    void startAt(LONGLONG t0)
    {
        h.clock().set(t0);
        ASSERT_EQ(S_OK, h.module()->Start());
    }
    // The value sent by one Process call at clock reading `at`; nothing when none was sent.
    std::optional<float> processAt(LONGLONG at)
    {
        h.clock().set(at);
        const long before = h.sendCount(out);
        EXPECT_EQ(S_OK, h.process());
        if (h.sendCount(out) == before) return std::nullopt;
        return h.lastSent(out).data.at(0);
    }

};

TEST_F(SweepTest, OneSampleOutputWithNoDocumentOfItsOwn)
{
    EXPECT_EQ(1, h.outputSize(out));
    startAt(0);
    EXPECT_TRUE(propsOf(h.outputProps(out)).empty()) << "Start publishes the empty document";
}

TEST_F(SweepTest, ClimbsByTenEachIntervalToFourThousandThenStartsAgain)
{
    const LONGLONG t0 = 1'000'000, tick = interval();
    startAt(t0);
    for (int i = 0; i <= 402; ++i) {
        const LONGLONG due = t0 + (i + 1) * tick;
        EXPECT_FALSE(processAt(due)) << "value " << i << ": exactly one interval on is not yet due";
        const float expected = static_cast<float>(10 * (i % 401)); // 0, 10, ... 4000, 0, 10
        ASSERT_EQ(expected, processAt(due + 1)) << "value " << i;
    }
}

TEST_F(SweepTest, AtMostOneValuePerCallAndALateEngineCatchesUp)
{
    const LONGLONG t0 = 2'000'000, tick = interval();
    startAt(t0);
    const LONGLONG late = t0 + 4 * tick + 1; // four values due at once
    for (int call = 0; call < 6; ++call) processAt(late);
    EXPECT_EQ(4, h.sendCount(out));
    EXPECT_EQ(30.0f, h.lastSent(out).data[0]);
}

TEST_F(SweepTest, StartReanchorsThePacingButKeepsTheValue)
{
    const LONGLONG t0 = 3'000'000, tick = interval();
    startAt(t0);
    for (int i = 1; i <= 3; ++i) processAt(t0 + i * tick + 1); // 0, 10, 20
    // Much later, started again: nothing is owed for the time in between, and the sweep goes on.
    const LONGLONG t1 = t0 + 1000 * tick;
    startAt(t1);
    EXPECT_FALSE(processAt(t1 + tick));
    EXPECT_EQ(30.0f, processAt(t1 + tick + 1));
    EXPECT_FALSE(processAt(t1 + tick + 1));
}

TEST_F(SweepTest, PacedFromInitializeEvenBeforeAnyStart)
{
    // The interval is known from Initialize on: a clock within it owes nothing yet.
    const LONGLONG tick = interval();
    EXPECT_FALSE(processAt(tick));
    EXPECT_EQ(0.0f, processAt(tick + 1));
}

TEST_F(SweepTest, AnOutputWithoutRoomIsSentUnwrittenAndTheSweepGoesOn)
{
    const LONGLONG t0 = 4'000'000, tick = interval();
    startAt(t0);
    vento::OutputPin* pin = h.core().findOutput(out);
    pin->resize(0); // the engine's storage gives the module no float to write
    h.clock().set(t0 + tick + 1);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(out));
    EXPECT_TRUE(h.lastSent(out).data.empty());
    EXPECT_FALSE(h.wroteRetiredOutput(out));
    pin->resize(1);
    EXPECT_EQ(10.0f, processAt(t0 + 2 * tick + 1)) << "the value sent without room still counted";
}

TEST_F(SweepTest, EngineFailuresEndProcessWithTheirResult)
{
    startAt(5'000'000);
    h.clock().set(5'000'000 + interval() + 1);
    h.failCall(SiteCall::GetTime, E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, h.process());
    h.failCall(SiteCall::GetOutputBlock, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, h.process());
    EXPECT_EQ(0, h.sendCount(out));
    EXPECT_EQ(0.0f, processAt(5'000'000 + interval() + 1)) << "nothing was lost";
}

} // namespace
