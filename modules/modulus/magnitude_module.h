#pragma once
// Magnitude: each complex value becomes a clipped, tilted log power, ready to draw between -1 and 1.
#include "identity.h"
#include "module/module_base.h"

class MagnitudeModule : public modkit::Module<MagnitudeModule, identity::ModuleInterface> {
public:
    MagnitudeModule() : Module(identity::module) {}

protected:
    void OnInitialize() override;
    void OnProcess() override;

private:
    modkit::Pin defaultPin_{L"Default"};
};
