#include "overlap_module.h"

#include <algorithm>

using namespace modkit;

void OverlapModule::OnInitialize()
{
    description = L"Makes sequential blocks of samples overlap by a given number of samples.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
}

void OverlapModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    Block in = GetInputBlock(defaultPin_);
    // Without an input block there is no block size: nothing is resized, sent or moved.
    if (in.empty()) return;
    Block out = ResizeOutput(defaultPin_, GetOutputBlock(defaultPin_), in.count);
    if (IsInputReady(defaultPin_)) Store(in);
    const long n = out.count;
    if (n <= 0 || ring.Available() < n) return;
    ring.Peek(out.data, n);
    Advance(n);
    SendOutput(defaultPin_);
}

void OverlapModule::Store(const Block& in)
{
    const long skipped = static_cast<long>(std::min<long long>(skipPending, in.count));
    skipPending -= skipped;
    ring.Store(in.data + skipped, in.count - skipped);
}

void OverlapModule::Advance(long n)
{
    // An overlap of a whole block or more would hold the reader still for ever: one sample at least.
    const long long step = std::max<long long>(static_cast<long long>(n) - overlap, 1);
    const long available = ring.Available();
    if (step <= available) {
        ring.Consume(static_cast<long>(step));
        return;
    }
    ring.Consume(available);
    skipPending = step - available;
}

