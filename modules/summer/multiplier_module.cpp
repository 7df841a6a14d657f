#include "multiplier_module.h"

#include <algorithm>

using namespace modkit;

bool InputQueue::Put(const float* data, long count) noexcept
{
    if (capacity - Available() <= std::min(count, capacity - 1)) Reset();
    ring_.Store(data, count); // more than the queue holds keeps its newest samples
    return true;
}

bool InputQueue::Get(float* destination, long count) noexcept
{
    if (Available() < count) return false;
    if (count <= 0) return true;
    ring_.Peek(destination, count);
    ring_.Consume(count);
    return true;
}

void MultiplierModule::OnInitialize()
{
    description = L"Sums any number of input signals.";
    AddOutput(defaultPin_, blockSize);
    AddOutput(diagnosticPin_, 10);
    AddMultiInput(defaultPin_, 128);
}

void MultiplierModule::Restart()
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    ticksPerBlock = static_cast<LONGLONG>(blockSize) * frequency.QuadPart / sampleRate;
    restartPending = 1;
    AddOutput(defaultPin_, blockSize);
    for (InputQueue& queue : queues) queue.Reset();
    PropagateProps(defaultPin_);
}

void MultiplierModule::OnProcess()
{
    if (restartPending) {
        LONGLONG now = 0;
        check(site->GetTime(&now));
        // Due at once: the first step after a start sends a block.
        lastDue = now - ticksPerBlock - 1;
        restartPending = 0;
    }
    const long inputs = std::max(GetInputCount(defaultPin_), 0L);
    queues.resize(static_cast<size_t>(inputs));
    for (long j = 0; j < inputs; ++j) {
        if (!IsInputReadyAt(defaultPin_, j)) continue;
        Block in = GetInputBlockAt(defaultPin_, j);
        queues[static_cast<size_t>(j)].Put(in.data, in.count);
    }
    LONGLONG now = 0;
    check(site->GetTime(&now));
    if (now <= lastDue + ticksPerBlock) return;

    Block diagnostic = GetOutputBlock(diagnosticPin_);
    Block out = GetOutputBlock(defaultPin_);
    Multiply(out, diagnostic);
    SendOutput(defaultPin_);
    SendOutput(diagnosticPin_);
    // Exactly one block later than the last due time, so that a late engine catches up.
    lastDue += ticksPerBlock;
}

void MultiplierModule::Multiply(const Block& out, const Block& diagnostic)
{
    std::fill(out.data, out.data + out.count, 1.0f);
    if (scratch_.size() < static_cast<size_t>(out.count)) scratch_.resize(static_cast<size_t>(out.count));
    for (size_t j = 0; j < queues.size(); ++j) {
        InputQueue& queue = queues[j];
        if (queue.Get(scratch_.data(), out.count))
            for (long k = 0; k < out.count; ++k) out.data[k] = scratch_[static_cast<size_t>(k)] * out.data[k];
        // One value per input while the block has room; further inputs are not reported.
        if (j < static_cast<size_t>(diagnostic.count)) diagnostic.data[j] = static_cast<float>(queue.Available() * 0.001);
    }
}

void MultiplierModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    SetProperty(document, L"SamplesPerSecond", sampleRate);
}

