#pragma once
// What every page site of the engine answers the same way: the user's locale, no page container,
// status changes and keys ignored. A site that wants those overrides them.
#include <windows.h>
#include <ocidl.h>
#include "com/handle.h"
#include "com/object.h"

namespace vento {

class PageSite : public modkit::ObjectRoot, public IPropertyPageSite {
public:
    using Interfaces = modkit::InterfaceList<IPropertyPageSite>;

    STDMETHODIMP OnStatusChange(DWORD) noexcept override { return S_OK; }
    STDMETHODIMP GetLocaleID(LCID* locale) noexcept override
    {
        if (!locale) return E_POINTER;
        *locale = GetUserDefaultLCID();
        return S_OK;
    }
    STDMETHODIMP GetPageContainer(IUnknown** container) noexcept override
    {
        if (container) *container = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateAccelerator(MSG*) noexcept override { return S_FALSE; }
};

// A PROPPAGEINFO for a page to fill; the strings it receives are freed with it.
struct PageInfo : PROPPAGEINFO {
    PageInfo() : PROPPAGEINFO{} {}
    ~PageInfo() { modkit::TaskString title(pszTitle), docString(pszDocString), helpFile(pszHelpFile); }
    PageInfo(const PageInfo&) = delete;
    PageInfo& operator=(const PageInfo&) = delete;
};

} // namespace vento
