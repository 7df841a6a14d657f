#include "server/server.h"

#include "com/error.h"
#include "com/handle.h"
#include "com/object.h"

namespace modkit {
namespace {

// Cached factory of one class-table row. The cache itself counts as one holder: only the references
// that callers take on top of it keep the server loaded.
class ClassFactory : public ObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceList<IClassFactory>;
    static constexpr bool holdsServerLock = false;

    explicit ClassFactory(const ClassEntry& entry) noexcept : entry_(entry) {}

    void OnReferenceCount(ULONG count) noexcept
    {
        // 2: a caller took the first reference beside the cache's; 1: the last caller let go.
        if (count == 2 && !callerHeld_) {
            callerHeld_ = true;
            serverLock();
        } else if (count == 1 && callerHeld_) {
            callerHeld_ = false;
            serverUnlock();
        }
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override
    {
        return boundary([&] { return entry_.create(outer, iid, out); });
    }
    STDMETHODIMP LockServer(BOOL lock) noexcept override
    {
        lock ? serverLock() : serverUnlock();
        return S_OK;
    }

private:
    const ClassEntry& entry_;
    bool callerHeld_ = false;
};

// Factories are created lazily, under this lock, and released when the server is unloaded.
class FactoryCache {
public:
    FactoryCache() { InitializeCriticalSection(&lock_); }
    ~FactoryCache()
    {
        for (size_t i = 0; i < serverClassCount && i < maxClasses; ++i)
            if (factories_[i]) factories_[i]->Release();
        DeleteCriticalSection(&lock_);
    }

    IClassFactory* get(size_t row)
    {
        if (row >= maxClasses) return nullptr;
        IClassFactory* f = factories_[row];
        if (f) return f;
        EnterCriticalSection(&lock_);
        auto leave = scopeExit([this] { LeaveCriticalSection(&lock_); });
        if (!factories_[row]) factories_[row] = make<ClassFactory>(serverClasses[row]).Detach(); // the cache's count
        return factories_[row];
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
    prepareFailureRecord();
    for (size_t row = 0; row < serverClassCount; ++row) {
        if (!IsEqualCLSID(clsid, *serverClasses[row].clsid)) continue;
        return boundary([&] { return factoryCache().get(row)->QueryInterface(iid, out); });
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return serverLockCount() == 0 ? S_OK : S_FALSE;
}
