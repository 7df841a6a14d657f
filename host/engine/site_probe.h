#pragma once
// SiteProbe: what looks at the site calls modules make, for tests: counting and logging them,
// failing chosen ones (fault injection), failing the creation of cores. The engine holds one as a
// pointer that is null in production, so a site call there pays one null test (call_probe.h is the
// probe the tests install).
#include <windows.h>
#include <oleauto.h>
#include "host/engine/site_call.h"

namespace vento {

class ModuleCore;

class SiteProbe {
public:
    // A core the engine made (before its module sees it).
    virtual void coreMade(ModuleCore& core) = 0;
    virtual void coreGone(const ModuleCore& core) noexcept = 0;
    // Before the engine answers a site call of `core`: a failure answered here is the call's answer.
    virtual HRESULT siteCall(const ModuleCore& core, SiteCall call, BSTR pin) noexcept = 0;
    // Before a core is made: a failure answered here fails the creation.
    virtual HRESULT coreCreation() noexcept = 0;

protected:
    ~SiteProbe() = default;
};

} // namespace vento
