#pragma once
// Magnitude: each complex value becomes a clipped, tilted log power, ready to draw between -1 and 1.
#include "identity.h"
#include "module/transform.h"

class MagnitudeModule : public modkit::TransformModule<MagnitudeModule, identity::ModuleInterface> {
public:
    MagnitudeModule()
        : TransformModule(identity::module, L"Takes the log(magintude) of a complex signal.", L"Default", L"Default")
    {
    }

protected:
    // An odd last float is ignored.
    std::optional<long> OutputSize(const modkit::Block& in) override { return in.count / 2; }
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
};
