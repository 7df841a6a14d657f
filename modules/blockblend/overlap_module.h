#pragma once
// Overlap: re-cuts a signal into blocks of the input's size, each starting `overlap` samples before
// the end of the one before (a negative overlap skips samples between blocks instead).
#include "identity.h"
#include "module/module_base.h"
#include "module/sample_ring.h"

class OverlapModule : public modkit::Module<OverlapModule, identity::ModuleInterface> {
public:
    OverlapModule() : Module(identity::module) {}

    // Read by Process, written by the panel inside the engine's update scope.
    long overlap = 0;
    long outBlocksize = 128; // bounds the panel's overlap range only
    modkit::SampleRing<> ring;
    // Samples still to be skipped by a negative overlap once they arrive: the read position never
    // passes the write position.
    long long skipPending = 0;

    // Loaded in the reverse of the order they are saved in.
    static constexpr modkit::Setting<OverlapModule> declaredSettings[] = {
        {.name = L"Out Blocksize", .field = &OverlapModule::outBlocksize, .loadAt = 2},
        {.name = L"Overlap", .field = &OverlapModule::overlap, .loadAt = 1},
    };

protected:
    void OnInitialize() override;
    void OnProcess() override;

private:
    void Store(const modkit::Block& in);
    void Advance(long n);

    modkit::Pin defaultPin_{L"Default"};
};
