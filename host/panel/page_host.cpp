#include "host/panel/page_host.h"

#include "com/error.h"

namespace vento {

namespace {

// Pages are compared by COM identity: the same object may be passed through different pointers.
bool sameObject(IUnknown* a, IUnknown* b) noexcept
{
    if (!a || !b) return a == b;
    Microsoft::WRL::ComPtr<IUnknown> ua, ub;
    if (FAILED(a->QueryInterface(IID_PPV_ARGS(&ua))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&ub)))) return false;
    return ua.Get() == ub.Get();
}

} // namespace

STDMETHODIMP PageHost::AttachPage(IModulePage* page) noexcept
{
    return modkit::boundary([&]() -> HRESULT {
        if (!page) return E_POINTER;
        ++attached_;
        page_ = page;
        return S_OK;
    });
}

STDMETHODIMP PageHost::DetachPage(IModulePage* page) noexcept
{
    return modkit::boundary([&]() -> HRESULT {
        if (!page) return E_POINTER;
        ++detached_;
        if (sameObject(page, page_.Get())) page_.Reset();
        return S_OK;
    });
}

HRESULT PageHost::refresh()
{
    if (!page_) return S_FALSE;
    // A reference of our own: the page may detach itself while it refreshes.
    Microsoft::WRL::ComPtr<IModulePage> page = page_;
    return page->Refresh();
}

} // namespace vento
