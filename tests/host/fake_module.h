#pragma once
// A module built the way every real module is: the engine's ModuleCore created as an aggregated
// inner object, IModuleSite answered by forwarding the query to it, everything else its own. What it
// does in Initialize and Process is given by the test.
#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <wrl/client.h>
#include "com/bstr.h"
#include "com/object.h"
#include "engine.h"

namespace vento::test {

// Served by fake_module_server.dll: an echo module, and the same one leaking a reference to itself.
inline constexpr CLSID CLSID_FakeEcho = {0xcebc2212, 0x2770, 0x4707, {0xba, 0x79, 0x3f, 0xb4, 0x0d, 0xd9, 0x19, 0x6d}};
inline constexpr CLSID CLSID_FakeLeaky = {0x601b842e, 0xcf07, 0x4f95, {0x83, 0x6f, 0x27, 0xae, 0x1f, 0x14, 0x9b, 0x5f}};

class FakeModule : public modkit::ObjectRoot, public IModule {
public:
    using Interfaces = modkit::InterfaceList<IModule>;
    using Hook = std::function<HRESULT(IModuleSite& site, IUnknown& self)>;

    explicit FakeModule(std::wstring typeName = L"Fake", Hook initialize = {}, Hook process = {})
        : typeName_(std::move(typeName)), initialize_(std::move(initialize)), process_(std::move(process))
    {
        ++live;
    }
    ~FakeModule() { --live; }

    HRESULT FinalConstruct() noexcept
    {
        return modkit::boundary([&] {
            IUnknown* self = controllingUnknown();
            modkit::check(CoCreateInstance(CLSID_ModuleCore, self, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&core_)));
            modkit::check(core_->QueryInterface(IID_PPV_ARGS(&site_)));
            self->Release(); // the site lives inside this object: its reference must not keep us alive
            modkit::check(site_->SetModuleName(modkit::Bstr(typeName_).get()));
            modkit::check(site_->AttachModule(self));
        });
    }
    void FinalRelease() noexcept
    {
        site_ = nullptr;
        core_.Reset();
    }
    HRESULT QueryExtraInterface(REFIID iid, void** out) noexcept
    {
        if (IsEqualIID(iid, __uuidof(IModuleSite)) && core_) return core_->QueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }

    IUnknown* core() const noexcept { return core_.Get(); }
    IModuleSite* site() const noexcept { return site_; }
    int processCalls = 0;
    static inline int live = 0;

    STDMETHODIMP Process() noexcept override
    {
        ++processCalls;
        return run(process_);
    }
    STDMETHODIMP Initialize() noexcept override { return run(initialize_); }
    STDMETHODIMP Stop() noexcept override { return S_OK; }
    STDMETHODIMP Start() noexcept override { return S_OK; }
    STDMETHODIMP SaveSettings(IUnknown*) noexcept override { return S_OK; }
    STDMETHODIMP LoadSettings(IUnknown*) noexcept override { return S_OK; }
    STDMETHODIMP GetIcon(IDispatch** picture) noexcept override
    {
        if (picture) *picture = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetHelpFile(BSTR* path) noexcept override
    {
        if (path) *path = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetInfo(ModuleInfo*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetFlags(LONG* flags) noexcept override
    {
        if (!flags) return E_POINTER;
        *flags = 0;
        return S_OK;
    }
    STDMETHODIMP OpenWindow() noexcept override { return S_OK; }
    STDMETHODIMP CloseWindow() noexcept override { return S_OK; }

private:
    HRESULT run(const Hook& hook) noexcept
    {
        return modkit::boundary([&] { return hook ? hook(*site_, *controllingUnknown()) : S_OK; });
    }

    std::wstring typeName_;
    Hook initialize_;
    Hook process_;
    Microsoft::WRL::ComPtr<IUnknown> core_;
    IModuleSite* site_ = nullptr; // not counted: answered by our own inner object
};

// The echo module: "Default" in (4) is copied to "Default" out, resizing the output to the block's
// size and carrying the document along; "Ready" out (1) sends how many "Extra" multi-input
// connections were ready.
inline HRESULT echoInitialize(IModuleSite& site, IUnknown&)
{
    using modkit::Bstr;
    using modkit::check;
    check(site.AddInput(Bstr(L"Default").get(), 0, 4));
    check(site.AddOutput(Bstr(L"Default").get(), 0, 4));
    check(site.AddMultiInput(Bstr(L"Extra").get(), 0, 1));
    check(site.AddOutput(Bstr(L"Ready").get(), 0, 1));
    return S_OK;
}

inline HRESULT echoProcess(IModuleSite& site, IUnknown&)
{
    using modkit::Bstr;
    using modkit::check;
    Bstr main(L"Default"), extra(L"Extra"), ready(L"Ready");

    LONG connections = 0, readyCount = 0;
    check(site.GetInputCount(extra.get(), &connections));
    for (LONG i = 0; i < connections; ++i) {
        LONG isReady = 0;
        check(site.IsInputReadyAt(extra.get(), i, &isReady));
        readyCount += isReady != 0;
    }
    SignalBlock* counter = nullptr;
    check(site.GetOutputBlock(ready.get(), &counter));
    counter->data[0] = static_cast<float>(readyCount);
    check(site.SendOutput(ready.get()));

    LONG isReady = 0;
    check(site.IsInputReady(main.get(), &isReady));
    if (!isReady) return S_OK;
    SignalBlock* in = nullptr;
    check(site.GetInputBlock(main.get(), &in));
    if (!in || in->status != 0) return S_OK;
    SignalBlock* out = nullptr;
    check(site.GetOutputBlock(main.get(), &out));
    if (out->count != in->count) {
        check(site.AddOutput(main.get(), 0, in->count));
        check(site.GetOutputBlock(main.get(), &out));
    }
    std::copy(in->data, in->data + in->count, out->data);
    BSTR props = Bstr::allocate(modkit::bstrView(*in->props));
    SysFreeString(*out->props);
    *out->props = props;
    check(site.SendOutput(main.get()));
    return S_OK;
}

} // namespace vento::test
