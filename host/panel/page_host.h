#pragma once
// PageHost: the engine's object that a module's property page is handed beside the module. The page
// tells it when it is shown (AttachPage) and taken down (DetachPage); while a page is attached the
// engine can ask it to bring its panel up to date (refresh).
#include <windows.h>
#include <wrl/client.h>
#include "com/object.h"
#include "engine.h"

namespace vento {

class PageHost : public modkit::ObjectRoot, public IModulePageHost {
public:
    using Interfaces = modkit::InterfaceList<IModulePageHost>;

    // IModulePageHost. AttachPage keeps the page (one at a time: a second one replaces the first);
    // DetachPage lets go of it when it is the page kept. Both are counted.
    STDMETHODIMP AttachPage(IModulePage* page) noexcept override;
    STDMETHODIMP DetachPage(IModulePage* page) noexcept override;

    long attachCount() const noexcept { return attached_; }
    long detachCount() const noexcept { return detached_; }
    // The attached page; null when none is.
    IModulePage* page() const noexcept { return page_.Get(); }
    // IModulePage::Refresh on the attached page; S_FALSE when no page is attached.
    HRESULT refresh();

    void FinalRelease() noexcept { page_.Reset(); }

private:
    Microsoft::WRL::ComPtr<IModulePage> page_;
    long attached_ = 0;
    long detached_ = 0;
};

} // namespace vento
