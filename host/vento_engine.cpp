#include "host/vento_engine.h"

#include <utility>

#include <algorithm>
#include "com/error.h"
#include "com/object.h"

namespace vento {

using Microsoft::WRL::ComPtr;
using modkit::check;
using modkit::throwHr;

// The class object of ModuleCore while this engine is registered: the cores it makes belong to it.
class Engine::CoreFactory : public modkit::ObjectRoot, public IClassFactory {
public:
    using Interfaces = modkit::InterfaceList<IClassFactory>;

    explicit CoreFactory(Engine* engine) noexcept : engine_(engine) {}
    void detach() noexcept { engine_ = nullptr; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override
    {
        if (!engine_) {
            if (out) *out = nullptr;
            return CO_E_SERVER_STOPPING;
        }
        if (HRESULT fault = std::exchange(engine_->coreCreationFault_, S_OK); FAILED(fault)) {
            if (out) *out = nullptr;
            return fault;
        }
        return modkit::createInstanceWith<ModuleCore>(outer, iid, out, engine_);
    }
    STDMETHODIMP LockServer(BOOL lock) noexcept override
    {
        lock ? modkit::serverLock() : modkit::serverUnlock();
        return S_OK;
    }

private:
    Engine* engine_;
};

Engine::Engine(std::unique_ptr<Clock> clock) : clock_(std::move(clock))
{
    factory_ = modkit::make<CoreFactory>(this);
    check(CoRegisterClassObject(CLSID_ModuleCore, factory_.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                &registration_));
}

Engine::~Engine()
{
    while (!instances_.empty()) remove(*instances_.back());
    // Cores of modules that someone else still holds outlive the engine: cut them loose.
    for (ModuleCore* core : cores_) {
        core->disconnect();
        core->detachFromEngine();
    }
    CoRevokeClassObject(registration_);
    factory_->detach();
}

void Engine::adopt(ModuleCore* core)
{
    cores_.push_back(core);
    core->recordCalls(recordCalls_);
    for (const NewCoreFault& fault : newCoreFaults_) core->failCall(fault.which, fault.hr);
}

void Engine::forget(ModuleCore* core) noexcept { std::erase(cores_, core); }

ModuleCore* Engine::coreOf(IModuleSite* site) const noexcept
{
    auto it = std::find_if(cores_.begin(), cores_.end(), [&](ModuleCore* c) { return c->site() == site; });
    return it == cores_.end() ? nullptr : *it;
}

void Engine::setCallRecording(bool record) noexcept
{
    recordCalls_ = record;
    for (ModuleCore* core : cores_) core->recordCalls(record);
}

Instance& Engine::create(IClassFactory& factory, std::wstring_view name)
{
    ComPtr<IUnknown> module;
    check(factory.CreateInstance(nullptr, IID_IUnknown, &module));
    return add(module.Get(), name);
}

Instance& Engine::create(REFCLSID clsid, std::wstring_view name)
{
    ComPtr<IUnknown> module;
    check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&module)));
    return add(module.Get(), name);
}

Instance& Engine::add(IUnknown* object, std::wstring_view name)
{
    if (!object) throwHr(E_POINTER);
    auto instance = std::make_unique<Instance>();
    instance->object = object;
    check(object->QueryInterface(IID_PPV_ARGS(&instance->module)));
    ComPtr<IModuleSite> site;
    check(object->QueryInterface(IID_PPV_ARGS(&site)));
    instance->core = coreOf(site.Get());
    if (!instance->core) throwHr(E_UNEXPECTED); // its core was made by another engine
    instance->name = name.empty() ? defaultName(*instance->core) : std::wstring(name);
    if (find(instance->name)) throwHr(E_INVALIDARG);
    instance->core->setInstanceName(instance->name);
    return *instances_.emplace_back(std::move(instance));
}

std::wstring Engine::defaultName(const ModuleCore& core) const
{
    const std::wstring& base = core.moduleName().empty() ? std::wstring(L"Module") : core.moduleName();
    for (int n = 1;; ++n) {
        std::wstring name = base + std::to_wstring(n);
        if (!find(name)) return name;
    }
}

ULONG Engine::remove(Instance& instance)
{
    auto it = std::find_if(instances_.begin(), instances_.end(), [&](const auto& p) { return p.get() == &instance; });
    if (it == instances_.end()) return 0;
    std::unique_ptr<Instance> owned = std::move(*it);
    instances_.erase(it);
    owned->module.Reset();
    return owned->object.Detach()->Release();
}

Instance* Engine::find(std::wstring_view name) const noexcept
{
    auto it = std::find_if(instances_.begin(), instances_.end(), [&](const auto& p) { return p->name == name; });
    return it == instances_.end() ? nullptr : it->get();
}

void Engine::connect(Instance& from, std::wstring_view output, Instance& to, std::wstring_view input)
{
    OutputPin* out = from.core->findOutput(output);
    if (!out) throwHr(E_INVALIDARG);
    out->targets.reserve(out->targets.size() + 1);
    InputSlot& slot = to.core->connectionSlot(input);
    if (slot.sourcePin) throwHr(E_INVALIDARG); // a single input takes one connection
    slot.sourceCore = from.core;
    slot.sourcePin = out;
    out->targets.push_back(&slot);
}

HRESULT Engine::process(Instance& instance)
{
    if (instance.core->updateDepth() > 0) return S_FALSE;
    HRESULT hr = instance.module->Process();
    instance.core->clearInputReadiness();
    return hr;
}

void Engine::sent(const ModuleCore& core, std::wstring_view pin, const OutputPin& output)
{
    if (sendObserver_) sendObserver_(core, pin, output);
}

} // namespace vento
