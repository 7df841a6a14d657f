#pragma once
// Placeholder: the property page is being built.
#include <windows.h>
#include "com/object.h"
#include "engine.h"

namespace modkit {
template <class Dialog, class ModuleInterface, int TemplateId>
class PropertyPage : public ObjectRoot, public IModulePage {
public:
    using Interfaces = InterfaceList<IModulePage>;
    STDMETHODIMP Refresh() noexcept override { return S_OK; }
    STDMETHODIMP GetDialogSize(long*, long*) noexcept override { return E_NOTIMPL; }
};
} // namespace modkit
