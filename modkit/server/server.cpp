#include "server/server.h"

#include <memory>
#include "com/error.h"
#include "com/object.h"

namespace modkit {
namespace {

// Cached factory of one class-table row. The cache itself counts as one holder: only the references
// that callers take on top of it keep the server loaded.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override
    {
        ULONG n = InterlockedIncrement(&refs_);
        if (n == 2) serverLock();
        return n;
    }
    STDMETHODIMP_(ULONG) Release() noexcept override
    {
        ULONG n = InterlockedDecrement(&refs_);
        if (n == 1) serverUnlock();
        if (n == 0) delete this;
        return n;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override
    {
        return boundary([&] { return entry_.create(outer, iid, out); });
    }
    STDMETHODIMP LockServer(BOOL lock) noexcept override
    {
        if (lock)
            serverLock();
        else
            serverUnlock();
        return S_OK;
    }

private:
    const ClassEntry& entry_;
    LONG refs_ = 1;
};

// Factories are created lazily, under this lock, and released when the server is unloaded.
class FactoryCache {
public:
    FactoryCache() { InitializeCriticalSection(&lock_); }
    ~FactoryCache()
    {
        for (size_t i = 0; i < serverClassCount; ++i)
            if (factories_[i]) factories_[i]->Release();
        DeleteCriticalSection(&lock_);
    }

    IClassFactory* get(size_t row)
    {
        if (row >= maxClasses) return nullptr;
        IClassFactory* f = factories_[row];
        if (f) return f;
        EnterCriticalSection(&lock_);
        if (!factories_[row]) factories_[row] = new (std::nothrow) ClassFactory(serverClasses[row]);
        f = factories_[row];
        LeaveCriticalSection(&lock_);
        return f;
    }

private:
    CRITICAL_SECTION lock_;
    static constexpr size_t maxClasses = 8;
    IClassFactory* volatile factories_[maxClasses] = {};
};

FactoryCache& factoryCache()
{
    static FactoryCache cache;
    return cache;
}

} // namespace
} // namespace modkit

using namespace modkit;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t row = 0; row < serverClassCount; ++row) {
        if (!IsEqualCLSID(clsid, *serverClasses[row].clsid)) continue;
        IClassFactory* factory = factoryCache().get(row);
        if (!factory) return E_OUTOFMEMORY;
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return serverLockCount() == 0 ? S_OK : S_FALSE;
}
