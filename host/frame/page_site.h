#pragma once
// What every page site of the engine answers the same way: the user's locale, no page container,
// status changes and keys ignored. A site that wants those overrides them.
#include <windows.h>
#include <ocidl.h>
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

// Frees the strings of a PROPPAGEINFO that a page filled.
struct PageInfo : PROPPAGEINFO {
    PageInfo() : PROPPAGEINFO{} {}
    ~PageInfo()
    {
        CoTaskMemFree(pszTitle);
        CoTaskMemFree(pszDocString);
        CoTaskMemFree(pszHelpFile);
    }
    PageInfo(const PageInfo&) = delete;
    PageInfo& operator=(const PageInfo&) = delete;
};

} // namespace vento
