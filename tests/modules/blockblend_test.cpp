// The Overlap module in its real server DLL: overlapping and gapped re-blocking, steps without input,
// the ring's bounds, its settings, and its panel's up-down control driven through real messages.
#include <initguid.h>
#include "module_test.h"
#include <tuple>
#include <algorithm>
#include <map>
#include <optional>
#include "blockblend/controls.h"
#include "blockblend_idl.h"
#include "load_settings.h"

using vento::test::loadFloats;

namespace {

constexpr wchar_t dll[] = L"blockblend.dll";
constexpr wchar_t pin[] = L"Default";

// Samples first, first + 1, ...: every output sample tells which input sample it is.
std::vector<float> ramp(long n, long first)
{
    std::vector<float> x(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) x[size_t(i)] = float(first + i);
    return x;
}

class OverlapTest : public vento::test::ModuleTest {
protected:
    OverlapTest() : ModuleTest(dll, CLSID_OverlapModule) {}

    void setOverlap(float overlap, float blocksize = 128)
    {
        ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Overlap", overlap}, {L"Out Blocksize", blocksize}}));
    }
    // One step, after feeding `block` when there is one; the block sent then, if any.
    std::optional<std::vector<float>> step(const std::optional<std::vector<float>>& block = std::nullopt)
    {
        long before = h.sendCount(pin);
        if (block) h.feed(pin, *block, L"<PROPS><SamplesPerSecond>11025</SamplesPerSecond></PROPS>");
        EXPECT_EQ(S_OK, h.process());
        if (h.sendCount(pin) == before) return std::nullopt;
        return h.lastSent(pin).data;
    }

};

TEST_F(OverlapTest, OverlapZeroPassesTheBlocksOnAsTheyCome)
{
    for (int block = 0; block < 100; ++block) { // the ring wraps inside a block now and then
        std::vector<float> x = randomBlock(128, unsigned(block));
        auto out = step(x);
        ASSERT_TRUE(out) << block;
        ASSERT_EQ(x, *out) << block;
    }
    EXPECT_EQ(L"11025", propsOf(h.lastSent(pin).props)[L"SamplesPerSecond"]) << "the input's document, unchanged";
}

TEST_F(OverlapTest, Overlap64SharesExactly64SamplesBetweenConsecutiveBlocks)
{
    setOverlap(64);
    std::vector<std::vector<float>> out;
    for (long first = 0; first < 60 * 128; first += 128) {
        if (auto sent = step(ramp(128, first))) out.push_back(*sent);
        // Unread input piles up: a step without new input sends another block from it.
        if (auto sent = step()) out.push_back(*sent);
    }
    ASSERT_EQ(119u, out.size()) << "two blocks for every input block but the first";
    for (size_t k = 0; k < out.size(); ++k) ASSERT_EQ(ramp(128, long(64 * k)), out[k]) << "block " << k;
}

TEST_F(OverlapTest, NegativeOverlapSkipsSamplesAndNeverReadsAheadOfTheInput)
{
    setOverlap(-32);
    EXPECT_EQ(ramp(128, 0), step(ramp(128, 0)));
    // The next block starts 32 samples past the input held: nothing to send until they have come.
    EXPECT_FALSE(step());
    EXPECT_FALSE(step());
    EXPECT_FALSE(step(ramp(128, 128)));
    EXPECT_EQ(ramp(128, 160), step(ramp(128, 256)));
    // A skip of more than a whole block (from stored settings) waits for that much input too.
    setOverlap(-300);
    EXPECT_EQ(ramp(128, 320), step(ramp(128, 384))); // the next block starts at 320 + 428
    EXPECT_FALSE(step(ramp(128, 512)));
    EXPECT_FALSE(step(ramp(128, 640)));
    EXPECT_EQ(ramp(128, 748), step(ramp(128, 768)));
}

TEST_F(OverlapTest, AnOverlapOfABlockOrMoreStillMovesOn)
{
    long k = 0;
    for (float overlap : {128.0f, 500.0f}) {
        SCOPED_TRACE(overlap);
        setOverlap(overlap);
        for (int blocks = 0; blocks < 30; ++blocks, ++k) {
            auto out = step(ramp(128, 128 * k));
            ASSERT_TRUE(out) << k;
            EXPECT_EQ(ramp(128, k), *out) << "one sample on per block";
        }
        EXPECT_EQ(overlap, h.savedFloats()[L"Overlap"]) << "the stored value is kept";
    }
}

TEST_F(OverlapTest, AStepWithoutAnInputBlockChangesNothing)
{
    setOverlap(64);
    // Before any block: no block size to take.
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(128, h.outputSize(pin));
    EXPECT_EQ(0, h.sendCount(pin));
    EXPECT_EQ(ramp(128, 0), step(ramp(128, 0)));
    // A missing block, a failed one and an empty one: no resize, nothing sent, the reader stays.
    h.feedNullRecord(pin);
    EXPECT_FALSE(step());
    h.feedWithStatus(pin, 1, ramp(128, 5000));
    EXPECT_FALSE(step());
    h.feedEmpty(pin);
    EXPECT_FALSE(step());
    EXPECT_EQ(128, h.outputSize(pin));
    EXPECT_EQ(ramp(128, 64), step(ramp(128, 128)));
}

TEST_F(OverlapTest, ANewInputBlockSizeResizesTheOutputAndRepublishesItsDocument)
{
    step(ramp(128, 0));
    long adds = h.calls().count(SiteCall::AddOutput);
    h.feed(pin, ramp(256, 128), L"<PROPS><SamplesPerSecond>22050</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(256, h.outputSize(pin));
    EXPECT_EQ(adds + 1, h.calls().count(SiteCall::AddOutput));
    EXPECT_EQ(L"22050", propsOf(h.outputProps(pin))[L"SamplesPerSecond"]);
    EXPECT_EQ(ramp(256, 128), h.lastSent(pin).data);
    EXPECT_FALSE(h.wroteRetiredOutput(pin));
}

TEST_F(OverlapTest, InputTheRingCannotHoldDropsTheOldestSamples)
{
    setOverlap(64);
    // Twice as much input as the blocks take: once the ring is full the reader is pushed on, just far
    // enough, and every block is still an unbroken stretch of input.
    float lastStart = -64;
    for (long first = 0; first < 200 * 128; first += 128) {
        auto out = step(ramp(128, first));
        ASSERT_TRUE(out);
        const float written = float(first + 128);
        ASSERT_EQ(std::max(lastStart + 64, written - 9999), (*out)[0]) << "block from " << first;
        ASSERT_EQ(ramp(128, long((*out)[0])), *out);
        lastStart = (*out)[0];
    }
    // A block larger than the ring cannot be sent whole: nothing is, and nothing breaks.
    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Overlap", 0}, {L"Out Blocksize", 128}}));
    for (int k = 0; k < 3; ++k) EXPECT_FALSE(step(randomBlock(12000, unsigned(k))));
}

TEST_F(OverlapTest, SavesBlocksizeFirstAndLoadsOverlapFirst)
{
    EXPECT_EQ((std::vector<std::wstring>{L"Out Blocksize", L"Overlap"}), h.savedNames());
    EXPECT_EQ(S_OK, loadFloats(h.module(), {{L"Overlap", -12.9f}, {L"Out Blocksize", 256}}));
    EXPECT_EQ((std::map<std::wstring, float>{{L"Out Blocksize", 256}, {L"Overlap", -12}}), h.savedFloats()) << "truncated";
    // A store without "Out Blocksize" ends the load after "Overlap" was read: nothing of it is taken.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), loadFloats(h.module(), {{L"Overlap", 5}}));
    EXPECT_EQ(-12, h.savedFloats()[L"Overlap"]);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), loadFloats(h.module(), {{L"Out Blocksize", 512}}));
    EXPECT_EQ(256, h.savedFloats()[L"Out Blocksize"]) << "nothing read after the missing first value";
}

// --- the panel -----------------------------------------------------------------------------------

class OverlapPanelTest : public OverlapTest {
protected:
    void open() { panel.emplace(h, dll, CLSID_OverlapModulePP); }
    PageHarness& p() { return *panel; }
    // The up-down's notification of a step of `delta`, as the control sends it; the answer.
    LRESULT spin(int delta)
    {
        NMUPDOWN step{{p().item(IDC_OVERLAP_SPIN), IDC_OVERLAP_SPIN, UINT(UDN_DELTAPOS)}, 0, delta};
        SendMessageW(p().dialog(), WM_NOTIFY, IDC_OVERLAP_SPIN, reinterpret_cast<LPARAM>(&step));
        return GetWindowLongPtrW(p().dialog(), DWLP_MSGRESULT);
    }
    // A click on the up-down's upper (up) or lower (down) arrow.
    void clickArrow(bool up)
    {
        HWND spinner = p().item(IDC_OVERLAP_SPIN);
        RECT r;
        GetClientRect(spinner, &r);
        LPARAM at = MAKELPARAM(r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
        SendMessageW(spinner, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(spinner, WM_LBUTTONUP, 0, at);
    }
    float overlap() { return h.savedFloats()[L"Overlap"]; }
    std::optional<PageHarness> panel;
};

TEST_F(OverlapPanelTest, OpensShowingTheOverlapAndReportsAChange)
{
    setOverlap(-7);
    long modified = h.core().modifiedCount();
    open();
    EXPECT_EQ(L"-7", p().text(IDC_OVERLAP));
    expectSetUpReportedAChange(modified);
}

TEST_F(OverlapPanelTest, TheArrowsStepTheOverlapAtOnceWithinHalfABlock)
{
    open();
    clickArrow(true);
    EXPECT_EQ(1, overlap()) << "the up arrow adds one";
    EXPECT_EQ(L"1", p().text(IDC_OVERLAP));
    clickArrow(false);
    clickArrow(false);
    EXPECT_EQ(-1, overlap());
    // The notification subtracts its step, and lets the control move.
    long modified = h.core().modifiedCount();
    EXPECT_EQ(0, spin(-10));
    EXPECT_EQ(9, overlap());
    EXPECT_EQ(modified + 1, h.core().modifiedCount());
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    spin(-100);
    EXPECT_EQ(64, overlap());
    spin(200);
    EXPECT_EQ(-64, overlap());
    EXPECT_EQ(L"-64", p().text(IDC_OVERLAP));
    // The range follows the stored block size.
    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Overlap", -64}, {L"Out Blocksize", 301}}));
    spin(-1000);
    EXPECT_EQ(150, overlap());
}

TEST_F(OverlapPanelTest, ATypedValueIsWhereTheNextStepStarts)
{
    open();
    SetWindowTextW(p().item(IDC_OVERLAP), L"20");
    ASSERT_EQ(S_OK, p().apply());
    EXPECT_EQ(0, overlap()) << "Apply changes nothing in the module";
    spin(-1);
    EXPECT_EQ(21, overlap());
    // The step's new value counts for the blocks at once.
    spin(-43);
    EXPECT_EQ(ramp(128, 0), step(ramp(128, 0)));
    EXPECT_EQ(ramp(128, 64), step(ramp(128, 128)));

    // Typed values at the ends of the 32-bit range: the step never wraps round to the other end.
    for (const auto& [typed, delta, expected] : {std::tuple{L"-2147483648", 1, -64}, std::tuple{L"2147483647", -1, 64}}) {
        SetWindowTextW(p().item(IDC_OVERLAP), typed);
        ASSERT_EQ(S_OK, p().apply());
        spin(delta);
        EXPECT_EQ(expected, overlap()) << typed;
    }
}

} // namespace
