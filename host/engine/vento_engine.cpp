#include "host/engine/vento_engine.h"

#include <utility>

#include <algorithm>
#include <cwchar>
#include "com/bstr.h"
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
        if (SiteProbe* probe = engine_->probe_)
            if (HRESULT fault = probe->coreCreation(); FAILED(fault)) {
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

Engine::Engine(std::unique_ptr<Clock> clock) : clock_(std::move(clock)), offlineClock_(dynamic_cast<OfflineClock*>(clock_.get()))
{
    factory_ = modkit::make<CoreFactory>(this);
    check(CoRegisterClassObject(CLSID_ModuleCore, factory_.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                &registration_));
}

Engine::~Engine()
{
    *self_ = nullptr;
    while (!instances_.empty()) remove(*instances_.back());
    // Cores of modules that someone else still holds outlive the engine: cut them loose.
    for (ModuleCore* core : cores_) {
        core->disconnect();
        core->setProbe(nullptr);
        core->detachFromEngine();
    }
    CoRevokeClassObject(registration_);
    factory_->detach();
}

void Engine::adopt(ModuleCore* core)
{
    cores_.push_back(core);
    core->setProbe(probe_);
    if (probe_) probe_->coreMade(*core);
}

void Engine::forget(ModuleCore* core) noexcept
{
    std::erase(cores_, core);
    if (probe_) probe_->coreGone(*core);
}

ModuleCore* Engine::coreOf(IModuleSite* site) const noexcept
{
    auto it = std::find_if(cores_.begin(), cores_.end(), [&](ModuleCore* c) { return c->site() == site; });
    return it == cores_.end() ? nullptr : *it;
}

void Engine::setProbe(SiteProbe* probe) noexcept
{
    probe_ = probe;
    for (ModuleCore* core : cores_) core->setProbe(probe);
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
    graphChanged();
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
    graphChanged();
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
    graphChanged();
}

bool Engine::disconnect(Instance& from, std::wstring_view output, Instance& to, std::wstring_view input)
{
    OutputPin* out = from.core->findOutput(output);
    InputPin* in = to.core->findInput(input);
    if (!out || !in) return false;
    auto slot = std::find_if(in->slots.begin(), in->slots.end(), [&](const auto& s) { return s->sourcePin == out; });
    if (slot == in->slots.end()) return false;
    std::erase(out->targets, slot->get());
    if (in->multi) {
        in->slots.erase(slot);
    } else {
        (*slot)->sourceCore = nullptr;
        (*slot)->sourcePin = nullptr;
    }
    graphChanged();
    return true;
}

void Engine::rename(Instance& instance, std::wstring_view name)
{
    if (name.empty() || (find(name) && find(name) != &instance)) throwHr(E_INVALIDARG);
    instance.name = name;
    instance.core->setInstanceName(instance.name);
}

void Engine::setClock(std::unique_ptr<Clock> clock)
{
    clock_ = std::move(clock);
    offlineClock_ = dynamic_cast<OfflineClock*>(clock_.get());
    passesAtThisTime_ = 0;
}

HRESULT Engine::process(Instance& instance)
{
    if (instance.core->updateDepth() > 0) return S_FALSE;
    processing_ = &instance;
    HRESULT hr;
    if (processObserver_) {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        hr = instance.module->Process();
        QueryPerformanceCounter(&after);
        processObserver_(instance, after.QuadPart - before.QuadPart);
    } else {
        hr = instance.module->Process();
    }
    processing_ = nullptr;
    instance.core->clearInputReadiness();
    return hr;
}

void Engine::sent(const ModuleCore& core, std::wstring_view pin, const OutputPin& output)
{
    ++sendsThisPass_;
    if (sendObserver_) sendObserver_(core, pin, output);
}

std::string narrow(std::wstring_view text)
{
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

Instance* Engine::instanceOf(const ModuleCore& core) const noexcept
{
    auto it = std::find_if(instances_.begin(), instances_.end(), [&](const auto& p) { return p->core == &core; });
    return it == instances_.end() ? nullptr : it->get();
}

std::vector<Instance*> Engine::order() const
{
    // Kahn's algorithm; among the instances that are free to go, the earliest created goes first.
    const size_t n = instances_.size();
    std::vector<std::vector<size_t>> feeds(n);
    std::vector<size_t> waiting(n, 0);
    for (size_t i = 0; i < n; ++i) {
        for (ModuleCore* source : instances_[i]->core->sources()) {
            Instance* from = instanceOf(*source);
            if (!from) continue; // a module outside the engine's list feeds nothing here
            size_t j = size_t(std::find_if(instances_.begin(), instances_.end(),
                                           [&](const auto& p) { return p.get() == from; }) - instances_.begin());
            feeds[j].push_back(i);
            ++waiting[i];
        }
    }
    std::vector<Instance*> sorted;
    std::vector<bool> done(n, false);
    while (sorted.size() < n) {
        size_t next = n;
        for (size_t i = 0; i < n && next == n; ++i)
            if (!done[i] && waiting[i] == 0) next = i;
        if (next == n) {
            std::wstring names;
            for (size_t i = 0; i < n; ++i)
                if (!done[i]) names += (names.empty() ? L"" : L", ") + instances_[i]->name;
            throw EngineError("the connections form a cycle through " + narrow(names));
        }
        done[next] = true;
        sorted.push_back(instances_[next].get());
        for (size_t i : feeds[next]) --waiting[i];
    }
    return sorted;
}

const std::vector<Instance*>& Engine::schedule() const
{
    if (!scheduleValid_) {
        schedule_ = order();
        sources_.clear();
        for (Instance* instance : schedule_)
            if (instance->core->sources().empty()) sources_.push_back(instance);
        scheduleValid_ = true;
    }
    return schedule_;
}

void Engine::start()
{
    for (Instance* instance : order())
        if (HRESULT hr = instance->module->Start(); FAILED(hr))
            throw EngineError(narrow(instance->name) + ": Start failed (" + narrow(modkit::hresultText(hr)) + ")");
}

void Engine::stop()
{
    for (Instance* instance : order())
        if (HRESULT hr = instance->module->Stop(); FAILED(hr))
            throw EngineError(narrow(instance->name) + ": Stop failed (" + narrow(modkit::hresultText(hr)) + ")");
}

long Engine::step()
{
    sendsThisPass_ = 0;
    for (Instance* instance : schedule())
        if (HRESULT hr = process(*instance); FAILED(hr))
            throw EngineError(narrow(instance->name) + ": Process failed (" + narrow(modkit::hresultText(hr)) + ")");
    // Offline, time moves on only once a pass finds nothing more to send, as real time would give a
    // module that sends several blocks for one input block (Overlap) the passes to send them before
    // the next source block is due. A graph that never stops sending (a module that sends at every
    // call) still moves on after a bounded number of passes.
    if (offlineClock_ && (sendsThisPass_ == 0 || ++passesAtThisTime_ >= maxPassesAtOneTime)) {
        offlineClock_->advance(offlineInterval());
        passesAtThisTime_ = 0;
    }
    return sendsThisPass_;
}

LONGLONG Engine::offlineInterval() const
{
    const LONGLONG frequency = clock_->frequency();
    LONGLONG shortest = 0;
    schedule();
    size_t at = 0;
    for (const Instance* instance : sources_) {
        for (const auto& [name, out] : instance->core->outputs()) {
            const std::wstring_view text = modkit::bstrView(out.props());
            if (at == rates_.size() || rates_[at].pin != &out) {
                rates_.resize(at);
                rates_.push_back({&out, std::wstring(text), samplesPerSecond(out.props())});
            } else if (!modkit::sameText(rates_[at].props, text)) {
                rates_[at].props = text;
                rates_[at].rate = samplesPerSecond(out.props());
            }
            const long rate = rates_[at++].rate;
            if (rate <= 0 || out.size() <= 0) continue;
            LONGLONG ticks = LONGLONG(out.size()) * frequency / rate;
            if (ticks > 0 && (shortest == 0 || ticks < shortest)) shortest = ticks;
        }
    }
    return shortest > 0 ? shortest : std::max<LONGLONG>(frequency / 1000, 1);
}

// What GetHostObject answers: a settings store that writes through to the instance's settings and
// tells the engine at once, so a module can save itself whenever it likes (a moved window, say).
class Engine::HostObject : public modkit::ObjectRoot, public modkit::Dispatch<ISettingsStore> {
public:
    using Interfaces = modkit::InterfaceList<ISettingsStore, modkit::As<IDispatch, ISettingsStore>>;

    HostObject(std::shared_ptr<Engine*> engine, const ModuleCore* core, ComPtr<SettingsStore> store) noexcept
        : engine_(std::move(engine)), core_(core), store_(std::move(store))
    {
    }
    STDMETHODIMP ReadString(BSTR name, BSTR* value) noexcept override { return store_->ReadString(name, value); }
    STDMETHODIMP ReadFloat(BSTR name, float* value) noexcept override { return store_->ReadFloat(name, value); }
    STDMETHODIMP WriteString(BSTR name, BSTR value) noexcept override
    {
        return written(store_->WriteString(name, value));
    }
    STDMETHODIMP WriteFloat(BSTR name, float value) noexcept override
    {
        return written(store_->WriteFloat(name, value));
    }

private:
    HRESULT written(HRESULT hr) noexcept
    {
        if (FAILED(hr) || !*engine_) return hr;
        return modkit::boundary([&] { (*engine_)->settingsWritten(*core_); });
    }

    std::shared_ptr<Engine*> engine_;
    const ModuleCore* core_;
    ComPtr<SettingsStore> store_;
};

ComPtr<IUnknown> Engine::hostObject(ModuleCore& core)
{
    Instance* instance = instanceOf(core);
    if (!instance) throwHr(E_UNEXPECTED); // a module not (yet) added to the graph has no settings here
    ComPtr<IUnknown> object;
    check(modkit::make<HostObject>(self_, &core, instance->settings).As(&object));
    return object;
}

void Engine::settingsWritten(const ModuleCore& core)
{
    Instance* instance = instanceOf(core);
    if (instance && settingsObserver_) settingsObserver_(*instance);
}

void Engine::saveSettings(Instance& instance)
{
    // Into the same store, emptied: host objects handed out earlier keep writing where it is saved.
    instance.settings->clear();
    if (HRESULT hr = instance.module->SaveSettings(static_cast<ISettingsStore*>(instance.settings.Get())); FAILED(hr))
        throw EngineError(narrow(instance.name) + ": SaveSettings failed (" + narrow(modkit::hresultText(hr)) + ")");
}

} // namespace vento
