#include "host/registrar/module_registrar.h"

#include "com/bstr.h"
#include "host/registrar/catalogue.h"

namespace vento {

STDMETHODIMP ModuleRegistrar::RegisterModule(BSTR name, CLSID clsid) noexcept
{
    return modkit::boundary([&] {
        if (!name) return E_POINTER;
        if (IsEqualCLSID(clsid, CLSID_NULL)) return E_INVALIDARG;
        catalogueModule(modkit::bstrView(name), clsid);
        return S_OK;
    });
}

STDMETHODIMP ModuleRegistrar::UnregisterModule(BSTR name) noexcept
{
    return modkit::boundary([&] {
        if (!name) return E_POINTER;
        uncatalogueModule(modkit::bstrView(name));
        return S_OK;
    });
}

} // namespace vento
