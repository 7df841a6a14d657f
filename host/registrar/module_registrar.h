#pragma once
// VentoModuleRegistrar: the object through which a module server enters its module into the engine's
// catalogue when it registers, and removes it when it unregisters. It lives in the engine DLL
// because registration runs in regsvr32's process.
#include <windows.h>
#include "com/dispatch.h"
#include "com/object.h"
#include "engine.h"

namespace vento {

class ModuleRegistrar : public modkit::ObjectRoot, public modkit::Dispatch<IModuleRegistrar> {
public:
    using Interfaces = modkit::InterfaceList<IModuleRegistrar, modkit::As<IDispatch, IModuleRegistrar>>;

    // A null name is E_POINTER; an empty name, or the null class id, E_INVALIDARG. Registering a name
    // again replaces its class id.
    STDMETHODIMP RegisterModule(BSTR name, CLSID clsid) noexcept override;
    // A null name is E_POINTER, an empty one E_INVALIDARG; a name not in the catalogue is S_OK.
    STDMETHODIMP UnregisterModule(BSTR name) noexcept override;
};

} // namespace vento
