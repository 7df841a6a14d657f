#pragma once
// Multiplier: any number of signals on one multi-connection input, multiplied sample by sample into
// blocks made on the module's own clock. Each connection feeds its own queue, so block sizes may
// differ; an input without enough samples queued sits out a block (it counts as 1.0).
#include <vector>
#include "identity.h"
#include "module/module_base.h"
#include "module/sample_ring.h"

// One connection's first-in-first-out samples.
class InputQueue {
public:
    static constexpr long capacity = 50000;

    long Available() const noexcept { return ring_.Available(); }
    void Reset() noexcept { ring_.Restart(); }
    // Appends `count` samples; when they do not fit, the queued ones are dropped first. More than
    // the queue can hold keeps the newest capacity - 1.
    bool Put(const float* data, long count) noexcept;
    // Takes `count` samples into `destination`; false, taking nothing, when fewer are queued.
    bool Get(float* destination, long count) noexcept;

private:
    modkit::SampleRing<capacity> ring_;
};

class MultiplierModule : public modkit::Module<MultiplierModule, identity::ModuleInterface> {
public:
    MultiplierModule() : Module(identity::module) {}

    // What Start does: the pacing for the current rate and block size, the output declared for it,
    // every queue emptied, the output's document published. The panel runs it after a choice.
    void Restart();

    // Read by Process, written by the panel inside the engine's update scope.
    std::vector<InputQueue> queues; // one per connection, in connection order
    long restartPending = 0;        // the next Process re-anchors the pacing
    long sampleRate = 11025;        // never 0 or less: the pacing divides by it
    long blockSize = 128;
    LONGLONG ticksPerBlock = 0; // engine-clock ticks one output block lasts
    LONGLONG lastDue = 0;       // engine-clock time at which the previous block fell due

    // A rate of 0 changes nothing, and the block size is not read; a rate or block size that
    // cannot be (negative, zero, beyond what any engine holds) keeps the current one.
    static constexpr modkit::Setting<MultiplierModule> declaredSettings[] = {
        {.name = L"Frequency", .field = &MultiplierModule::sampleRate, .accept = modkit::positive, .stop = modkit::Stop::IfZero},
        {.name = L"Blocksize", .field = &MultiplierModule::blockSize, .accept = modkit::usableBlockSize},
    };

protected:
    void OnInitialize() override;
    void OnStart() override { Restart(); }
    void OnProcess() override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    void Multiply(const modkit::Block& out, const modkit::Block& diagnostic);

    std::vector<float> scratch_; // grows to the largest block once, then is reused
    modkit::Pin defaultPin_{L"Default"};
    modkit::Pin diagnosticPin_{L"Diagnostic"};
};
