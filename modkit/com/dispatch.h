#pragma once
// IDispatch for a server's own dual interface, answered from the type library in the server's file.
#include <windows.h>
#include <oleauto.h>
#include "com/error.h"

namespace modkit {

// The type information of `iid` from the server's own type library; null when it cannot be loaded.
ITypeInfo* serverTypeInfo(REFIID iid) noexcept;

template <class I>
class Dispatch : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override
    {
        if (!count) return E_POINTER;
        *count = typeInfo() ? 1 : 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override
    {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ITypeInfo* ti = typeInfo();
        if (!ti) return TYPE_E_ELEMENTNOTFOUND;
        ti->AddRef();
        *info = ti;
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override
    {
        ITypeInfo* ti = typeInfo();
        return ti ? DispGetIDsOfNames(ti, names, count, ids) : E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) noexcept override
    {
        ITypeInfo* ti = typeInfo();
        if (!ti) return DISP_E_MEMBERNOTFOUND;
        return DispInvoke(static_cast<I*>(this), ti, id, flags, params, result, exception, argError);
    }

private:
    static ITypeInfo* typeInfo() noexcept
    {
        static ITypeInfo* const info = serverTypeInfo(__uuidof(I));
        return info;
    }
};

} // namespace modkit
