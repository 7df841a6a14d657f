#pragma once
// ModuleCore: the engine object that lives inside every module as its aggregated inner object and
// answers the module's IModuleSite and IModuleUI. It holds the module's pins and blocks, its names,
// its update scope and what its control panel told the engine.
//
// Every site call passes the engine's probe, when one is installed (tests: site_probe.h).
#include <windows.h>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "com/dispatch.h"
#include "com/object.h"
#include "engine.h"
#include "host/engine/pins.h"
#include "host/engine/site_call.h"
#include "host/engine/site_probe.h"

namespace vento {

class Engine;

class ModuleCore : public modkit::ObjectRoot, public modkit::Dispatch<IModuleSite>, public IModuleUI {
public:
    using Interfaces = modkit::InterfaceList<IModuleSite, modkit::As<IDispatch, IModuleSite>>;

    explicit ModuleCore(Engine* engine) noexcept : engine_(engine) {}
    ~ModuleCore();
    HRESULT FinalConstruct() noexcept;
    HRESULT QueryExtraInterface(REFIID iid, void** out) noexcept;

    // IModuleSite
    STDMETHODIMP AttachModule(IUnknown* controller) noexcept override;
    STDMETHODIMP SetModuleName(BSTR name) noexcept override;
    STDMETHODIMP GetSourceCount(LONG* count) noexcept override;
    STDMETHODIMP GetSource(LONG index, IUnknown** source) noexcept override;
    STDMETHODIMP GetHostObject(IUnknown** host) noexcept override;
    STDMETHODIMP Reserved6() noexcept override;
    STDMETHODIMP AddInput(BSTR pin, LONG reserved, LONG size) noexcept override;
    STDMETHODIMP AddOutput(BSTR pin, LONG reserved, LONG size) noexcept override;
    STDMETHODIMP IsInputReady(BSTR pin, LONG* ready) noexcept override;
    STDMETHODIMP AddMultiInput(BSTR pin, LONG reserved, LONG size) noexcept override;
    STDMETHODIMP GetInputCount(BSTR pin, LONG* count) noexcept override;
    STDMETHODIMP IsInputReadyAt(BSTR pin, LONG index, LONG* ready) noexcept override;
    STDMETHODIMP SendOutput(BSTR pin) noexcept override;
    STDMETHODIMP BeginUpdate() noexcept override;
    STDMETHODIMP EndUpdate() noexcept override;
    STDMETHODIMP Reserved16() noexcept override;
    STDMETHODIMP GetInstanceName(BSTR* name) noexcept override;
    STDMETHODIMP Reserved18() noexcept override;
    STDMETHODIMP Reserved19() noexcept override;
    STDMETHODIMP Reserved20() noexcept override;
    STDMETHODIMP GetModuleName(BSTR* name) noexcept override;
    STDMETHODIMP Reserved22() noexcept override;
    STDMETHODIMP GetRestorePlacement(LONG* restore) noexcept override;
    STDMETHODIMP Reserved24() noexcept override;
    STDMETHODIMP SetModified(LONG flag) noexcept override;
    STDMETHODIMP GetTime(LONGLONG* ticks) noexcept override;
    STDMETHODIMP GetInputBlockAt(BSTR pin, LONG index, SignalBlock** block) noexcept override;
    STDMETHODIMP GetInputBlock(BSTR pin, SignalBlock** block) noexcept override;
    STDMETHODIMP GetOutputBlock(BSTR pin, SignalBlock** block) noexcept override;

    // IModuleUI
    STDMETHODIMP SetControlPage(CLSID page, LONG localOnly) noexcept override;

    // --- engine side ---
    IModuleSite* site() noexcept { return this; }
    // The module this core lives in (the unknown given to AttachModule); not counted.
    IUnknown* module() const noexcept { return module_ ? module_ : controllingUnknown(); }
    const std::wstring& moduleName() const noexcept { return moduleName_; }
    const std::wstring& instanceName() const noexcept { return instanceName_; }
    void setInstanceName(std::wstring name) { instanceName_ = std::move(name); }

    // Null when the module declared no such pin.
    InputPin* findInput(std::wstring_view name) noexcept;
    OutputPin* findOutput(std::wstring_view name) noexcept;
    // A new connection slot on a multi-input, or the one slot of a single input. Throws
    // E_INVALIDARG for an unknown pin.
    InputSlot& connectionSlot(std::wstring_view input);
    // After the module's Process: the blocks it was given count as consumed.
    void clearInputReadiness() noexcept;
    // Drops every connection to and from this core (on destruction, or when the engine goes away).
    void disconnect() noexcept;
    void detachFromEngine() noexcept { engine_ = nullptr; }

    // Distinct modules feeding this one, in pin and connection order.
    std::vector<ModuleCore*> sources() const;
    const std::map<std::wstring, OutputPin, std::less<>>& outputs() const noexcept { return outputs_; }
    const std::map<std::wstring, InputPin, std::less<>>& inputs() const noexcept { return inputs_; }

    int updateDepth() const noexcept { return updateDepth_; }
    long modifiedCount() const noexcept { return modifiedCount_; }
    long lastModifiedFlag() const noexcept { return lastModifiedFlag_; }
    // SetModified calls that reported a change (a nonzero flag).
    long changeCount() const noexcept { return changeCount_; }
    const std::optional<CLSID>& controlPage() const noexcept { return controlPage_; }
    long controlPageLocalOnly() const noexcept { return controlPageLocalOnly_; }
    // Whether the core answers IModuleUI (a module must cope with a core that does not).
    void offerModuleUI(bool offer) noexcept { offerModuleUI_ = offer; }

    // The probe every site call passes (null: none); the engine sets it.
    void setProbe(SiteProbe* probe) noexcept { probe_ = probe; }

private:
    // Every site call goes through here: shown to the probe (which may fail it), exceptions turned
    // into the HRESULT the module sees.
    template <class Body>
    HRESULT call(SiteCall which, BSTR pin, Body&& body) noexcept;

    template <class PinT>
    struct PinMemo {
        struct Entry {
            BSTR name = nullptr;
            const std::wstring* key = nullptr;
            PinT* pin = nullptr;
        };
        std::array<Entry, 4> entries{};
        unsigned next = 0;
    };
    template <class PinT>
    static PinT& lookup(std::map<std::wstring, PinT, std::less<>>& pins, PinMemo<PinT>& memo, BSTR pin);

    HRESULT addInput(BSTR pin, LONG size, bool multi);
    InputPin& input(BSTR pin);
    OutputPin& output(BSTR pin);
    InputSlot& slot(BSTR pin, LONG index);

    Engine* engine_;
    IUnknown* module_ = nullptr;
    std::wstring moduleName_;
    std::wstring instanceName_;
    std::map<std::wstring, InputPin, std::less<>> inputs_;
    std::map<std::wstring, OutputPin, std::less<>> outputs_;
    PinMemo<InputPin> inputMemo_;
    PinMemo<OutputPin> outputMemo_;
    int updateDepth_ = 0;
    long modifiedCount_ = 0;
    long lastModifiedFlag_ = 0;
    long changeCount_ = 0;
    std::optional<CLSID> controlPage_;
    long controlPageLocalOnly_ = 0;
    bool offerModuleUI_ = true;
    SiteProbe* probe_ = nullptr;
};

} // namespace vento
