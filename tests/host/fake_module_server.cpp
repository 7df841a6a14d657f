// A module server DLL for the harness's own tests, shaped like the real servers: DllGetClassObject
// hands out class factories, DllCanUnloadNow answers from the server's object and lock count.
#include "fake_module.h"

namespace {

using vento::test::FakeModule;

// Keeps one reference to itself from Initialize on: a leak the harness must report.
HRESULT leakSelf(IModuleSite& site, IUnknown& self)
{
    self.AddRef();
    return vento::test::echoInitialize(site, self);
}

class Factory : public modkit::ObjectRoot, public IClassFactory {
public:
    using Interfaces = modkit::InterfaceList<IClassFactory>;
    explicit Factory(bool leaky) noexcept : leaky_(leaky) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override
    {
        if (outer) {
            if (out) *out = nullptr;
            return CLASS_E_NOAGGREGATION;
        }
        return modkit::createInstanceWith<FakeModule>(outer, iid, out, L"Echo",
                                                      leaky_ ? leakSelf : vento::test::echoInitialize,
                                                      vento::test::echoProcess);
    }
    STDMETHODIMP LockServer(BOOL lock) noexcept override
    {
        lock ? modkit::serverLock() : modkit::serverUnlock();
        return S_OK;
    }

private:
    bool leaky_;
};

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    bool echo = IsEqualCLSID(clsid, vento::test::CLSID_FakeEcho);
    if (!echo && !IsEqualCLSID(clsid, vento::test::CLSID_FakeLeaky)) return CLASS_E_CLASSNOTAVAILABLE;
    return modkit::boundary([&] { return modkit::make<Factory>(!echo)->QueryInterface(iid, out); });
}

STDAPI DllCanUnloadNow() { return modkit::serverLockCount() == 0 ? S_OK : S_FALSE; }
