#pragma once
// Stand-ins for what a host hands a property page: its site, and objects that want to know of the
// page (IModulePageHost). Both come from the object model, so they count like real COM objects.
#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <vector>
#include "com/object.h"
#include "engine.h"
#include "page_harness.h"

namespace panel_test {

using Microsoft::WRL::ComPtr;

using vento::test::FakePageSite;
using vento::test::ParentWindow;

class FakePageHost : public modkit::ObjectRoot, public IModulePageHost {
public:
    using Interfaces = modkit::InterfaceList<IModulePageHost>;
    int attached = 0;
    int detached = 0;
    HRESULT attachResult = S_OK;
    ComPtr<IModulePage> lastPage; // kept only when keepPage is set
    bool keepPage = false;

    STDMETHODIMP AttachPage(IModulePage* page) noexcept override
    {
        ++attached;
        if (keepPage) lastPage = page;
        identity = identityOf(page);
        return attachResult;
    }
    STDMETHODIMP DetachPage(IModulePage*) noexcept override
    {
        ++detached;
        return S_OK;
    }
    IUnknown* identity = nullptr; // the IUnknown of the page last attached; not counted

private:
    static IUnknown* identityOf(IUnknown* object)
    {
        ComPtr<IUnknown> unknown;
        if (object) object->QueryInterface(IID_PPV_ARGS(&unknown));
        return unknown.Get();
    }
};

// The reference count of an object, read by a balanced AddRef/Release.
inline ULONG refCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

using vento::PageInfo;

// What the platform's MapDialogRect gives for `units` on `dialog`.
inline SIZE mappedSize(HWND dialog, SIZE units)
{
    RECT r{0, 0, units.cx, units.cy};
    MapDialogRect(dialog, &r);
    return {r.right, r.bottom};
}

} // namespace panel_test
