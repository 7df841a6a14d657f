#include "host/engine/module_core.h"

#include <algorithm>
#include "com/bstr.h"
#include "host/engine/vento_engine.h"

namespace vento {

using modkit::bstrView;
using modkit::throwHr;

ModuleCore::~ModuleCore()
{
    disconnect();
    if (engine_) engine_->forget(this);
}

HRESULT ModuleCore::FinalConstruct() noexcept
{
    return modkit::boundary([&] {
        if (engine_) engine_->adopt(this);
    });
}

HRESULT ModuleCore::QueryExtraInterface(REFIID iid, void** out) noexcept
{
    *out = nullptr;
    if (!offerModuleUI_ || !IsEqualIID(iid, __uuidof(IModuleUI))) return E_NOINTERFACE;
    auto* ui = static_cast<IModuleUI*>(this);
    ui->AddRef();
    *out = ui;
    return S_OK;
}

template <class Body>
HRESULT ModuleCore::call(SiteCall which, BSTR pin, Body&& body) noexcept
{
    // No resource scope: the engine's answers load no resources.
    return modkit::guarded([&]() -> HRESULT {
        if (probe_)
            if (HRESULT hr = probe_->siteCall(*this, which, pin); FAILED(hr)) return hr;
        return body();
    });
}

// --- pins ---

InputPin* ModuleCore::findInput(std::wstring_view name) noexcept
{
    auto it = inputs_.find(name);
    return it == inputs_.end() ? nullptr : &it->second;
}

OutputPin* ModuleCore::findOutput(std::wstring_view name) noexcept
{
    auto it = outputs_.find(name);
    return it == outputs_.end() ? nullptr : &it->second;
}

// Modules keep their pin names' BSTRs, so a pin is first looked for by the string's address. A hit
// still compares the text: a string freed and made again at the same address may name another pin.
// Pins are never removed, so the remembered ones stay valid.
template <class PinT>
PinT& ModuleCore::lookup(std::map<std::wstring, PinT, std::less<>>& pins, PinMemo<PinT>& memo, BSTR pin)
{
    const std::wstring_view name = bstrView(pin);
    for (const auto& seen : memo.entries)
        if (seen.pin && seen.name == pin && modkit::sameText(*seen.key, name)) return *seen.pin;
    auto it = pins.find(name);
    if (it == pins.end()) throwHr(E_INVALIDARG);
    memo.entries[memo.next++ % memo.entries.size()] = {pin, &it->first, &it->second};
    return it->second;
}

InputPin& ModuleCore::input(BSTR pin) { return lookup(inputs_, inputMemo_, pin); }

OutputPin& ModuleCore::output(BSTR pin) { return lookup(outputs_, outputMemo_, pin); }

InputSlot& ModuleCore::slot(BSTR pin, LONG index)
{
    InputPin& in = input(pin);
    if (index < 0 || static_cast<std::size_t>(index) >= in.slots.size()) throwHr(E_INVALIDARG);
    return *in.slots[static_cast<std::size_t>(index)];
}

InputSlot& ModuleCore::connectionSlot(std::wstring_view name)
{
    InputPin* in = findInput(name);
    if (!in) throwHr(E_INVALIDARG);
    if (!in->multi) return *in->slots.front();
    return *in->slots.emplace_back(std::make_unique<InputSlot>());
}

void ModuleCore::clearInputReadiness() noexcept
{
    for (auto& [name, in] : inputs_)
        for (auto& s : in.slots) s->clearReady();
}

void ModuleCore::disconnect() noexcept
{
    for (auto& [name, in] : inputs_) {
        for (auto& s : in.slots) {
            if (s->sourcePin) std::erase(s->sourcePin->targets, s.get());
            s->sourceCore = nullptr;
            s->sourcePin = nullptr;
        }
    }
    for (auto& [name, out] : outputs_) {
        for (InputSlot* target : out.targets) {
            target->sourceCore = nullptr;
            target->sourcePin = nullptr;
        }
        out.targets.clear();
    }
}

std::vector<ModuleCore*> ModuleCore::sources() const
{
    std::vector<ModuleCore*> found;
    for (const auto& [name, in] : inputs_)
        for (const auto& s : in.slots)
            if (s->sourceCore && std::find(found.begin(), found.end(), s->sourceCore) == found.end())
                found.push_back(s->sourceCore);
    return found;
}

HRESULT ModuleCore::addInput(BSTR pin, LONG size, bool multi)
{
    if (size < 0) return E_INVALIDARG;
    auto [it, added] = inputs_.try_emplace(std::wstring(bstrView(pin)));
    InputPin& in = it->second;
    if (added) {
        in.multi = multi;
        if (!multi) in.slots.push_back(std::make_unique<InputSlot>());
    } else if (in.multi != multi) {
        return E_INVALIDARG; // a pin keeps its kind: its connections depend on it
    }
    in.size = size;
    return S_OK;
}

// --- IModuleSite ---

STDMETHODIMP ModuleCore::AttachModule(IUnknown* controller) noexcept
{
    return call(SiteCall::AttachModule, nullptr, [&] {
        if (!controller) return E_POINTER;
        module_ = controller; // not counted: this core lives inside that module
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::SetModuleName(BSTR name) noexcept
{
    return call(SiteCall::SetModuleName, nullptr, [&] {
        moduleName_ = bstrView(name);
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetSourceCount(LONG* count) noexcept
{
    return call(SiteCall::GetSourceCount, nullptr, [&] {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(sources().size());
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetSource(LONG index, IUnknown** source) noexcept
{
    return call(SiteCall::GetSource, nullptr, [&] {
        if (!source) return E_POINTER;
        *source = nullptr;
        auto all = sources();
        if (index < 0 || static_cast<std::size_t>(index) >= all.size()) return E_INVALIDARG;
        *source = all[static_cast<std::size_t>(index)]->module();
        (*source)->AddRef();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetHostObject(IUnknown** host) noexcept
{
    return call(SiteCall::GetHostObject, nullptr, [&] {
        if (!host) return E_POINTER;
        *host = nullptr;
        if (!engine_) return E_UNEXPECTED;
        *host = engine_->hostObject(*this).Detach();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::AddInput(BSTR pin, LONG, LONG size) noexcept
{
    return call(SiteCall::AddInput, pin, [&] { return addInput(pin, size, false); });
}

STDMETHODIMP ModuleCore::AddMultiInput(BSTR pin, LONG, LONG size) noexcept
{
    return call(SiteCall::AddMultiInput, pin, [&] { return addInput(pin, size, true); });
}

STDMETHODIMP ModuleCore::AddOutput(BSTR pin, LONG, LONG size) noexcept
{
    return call(SiteCall::AddOutput, pin, [&] {
        if (size < 0) return E_INVALIDARG;
        auto [it, added] = outputs_.try_emplace(std::wstring(bstrView(pin)), size);
        if (!added) it->second.resize(size);
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::IsInputReady(BSTR pin, LONG* ready) noexcept
{
    return call(SiteCall::IsInputReady, pin, [&] {
        if (!ready) return E_POINTER;
        InputPin& in = input(pin);
        if (in.multi) return E_INVALIDARG; // which connection? the module must ask per index
        *ready = in.slots.front()->ready();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetInputCount(BSTR pin, LONG* count) noexcept
{
    return call(SiteCall::GetInputCount, pin, [&] {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(input(pin).slots.size());
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::IsInputReadyAt(BSTR pin, LONG index, LONG* ready) noexcept
{
    return call(SiteCall::IsInputReadyAt, pin, [&] {
        if (!ready) return E_POINTER;
        *ready = slot(pin, index).ready();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::SendOutput(BSTR pin) noexcept
{
    return call(SiteCall::SendOutput, pin, [&] {
        OutputPin& out = output(pin);
        out.send();
        if (engine_) engine_->sent(*this, bstrView(pin), out);
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::BeginUpdate() noexcept
{
    return call(SiteCall::BeginUpdate, nullptr, [&] {
        ++updateDepth_;
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::EndUpdate() noexcept
{
    return call(SiteCall::EndUpdate, nullptr, [&] {
        if (updateDepth_ == 0) return E_UNEXPECTED; // unpaired: never let the scope go negative
        --updateDepth_;
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetInstanceName(BSTR* name) noexcept
{
    return call(SiteCall::GetInstanceName, nullptr, [&] {
        if (!name) return E_POINTER;
        *name = modkit::Bstr::allocate(instanceName_.empty() ? moduleName_ : instanceName_);
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetModuleName(BSTR* name) noexcept
{
    return call(SiteCall::GetModuleName, nullptr, [&] {
        if (!name) return E_POINTER;
        *name = modkit::Bstr::allocate(moduleName_);
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetRestorePlacement(LONG* restore) noexcept
{
    return call(SiteCall::GetRestorePlacement, nullptr, [&] {
        if (!restore) return E_POINTER;
        *restore = engine_ && engine_->restorePlacement();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::SetModified(LONG flag) noexcept
{
    return call(SiteCall::SetModified, nullptr, [&] {
        lastModifiedFlag_ = flag;
        ++modifiedCount_;
        if (flag != 0) ++changeCount_;
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetTime(LONGLONG* ticks) noexcept
{
    return call(SiteCall::GetTime, nullptr, [&] {
        if (!ticks) return E_POINTER;
        if (!engine_) return E_UNEXPECTED; // the engine and its clock are gone
        *ticks = engine_->clock().now();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetInputBlockAt(BSTR pin, LONG index, SignalBlock** block) noexcept
{
    return call(SiteCall::GetInputBlockAt, pin, [&] {
        if (!block) return E_POINTER;
        *block = slot(pin, index).block();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetInputBlock(BSTR pin, SignalBlock** block) noexcept
{
    return call(SiteCall::GetInputBlock, pin, [&] {
        if (!block) return E_POINTER;
        InputPin& in = input(pin);
        if (in.multi) return E_INVALIDARG;
        *block = in.slots.front()->block();
        return S_OK;
    });
}

STDMETHODIMP ModuleCore::GetOutputBlock(BSTR pin, SignalBlock** block) noexcept
{
    return call(SiteCall::GetOutputBlock, pin, [&] {
        if (!block) return E_POINTER;
        *block = output(pin).block();
        return S_OK;
    });
}

// Positions no module calls.
STDMETHODIMP ModuleCore::Reserved6() noexcept { return call(SiteCall::Reserved6, nullptr, [] { return E_NOTIMPL; }); }
STDMETHODIMP ModuleCore::Reserved16() noexcept { return call(SiteCall::Reserved16, nullptr, [] { return E_NOTIMPL; }); }
STDMETHODIMP ModuleCore::Reserved18() noexcept { return call(SiteCall::Reserved18, nullptr, [] { return E_NOTIMPL; }); }
STDMETHODIMP ModuleCore::Reserved19() noexcept { return call(SiteCall::Reserved19, nullptr, [] { return E_NOTIMPL; }); }
STDMETHODIMP ModuleCore::Reserved20() noexcept { return call(SiteCall::Reserved20, nullptr, [] { return E_NOTIMPL; }); }
STDMETHODIMP ModuleCore::Reserved22() noexcept { return call(SiteCall::Reserved22, nullptr, [] { return E_NOTIMPL; }); }
STDMETHODIMP ModuleCore::Reserved24() noexcept { return call(SiteCall::Reserved24, nullptr, [] { return E_NOTIMPL; }); }

// --- IModuleUI ---

STDMETHODIMP ModuleCore::SetControlPage(CLSID page, LONG localOnly) noexcept
{
    return call(SiteCall::SetControlPage, nullptr, [&] {
        controlPage_ = page;
        controlPageLocalOnly_ = localOnly;
        return S_OK;
    });
}

} // namespace vento
