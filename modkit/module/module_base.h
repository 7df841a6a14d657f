#pragma once
// ModuleBase: what every module class shares. It implements IModule for the engine (each entry point
// inside the one error boundary, resources current), owns the aggregated ModuleCore, and carries the
// property-document machinery.
//
// A module class derives from Module<Self, IOwnInterface> (or TransformModule, module/transform.h, for
// one input turned into one output) and supplies:
//   must:  OnInitialize (description, pins), OnProcess
//   may:   declaredSettings (module/settings.h: each setting once; saving and loading follow),
//          OnStart, OnStop, OnSaveSettings, OnLoadSettings, OnOpenWindow, OnCloseWindow,
//          OnFinalRelease, OnInputProps, OnOutputProps
// Initialize first names the page of the identity to the engine (when it has one), then runs
// OnInitialize. Fields keep their initial values from their declarations; OnInitialize does not
// restate them. Hooks may throw (check(hr), bad_alloc); the entry point turns that into its HRESULT.
#include <windows.h>
#include <msxml2.h>
#include <wrl/client.h>
#include <map>
#include <string>
#include <string_view>
#include <vector>
#include "com/bstr.h"
#include "com/dispatch.h"
#include "com/error.h"
#include "com/object.h"
#include "engine.h"
#include "module/module_identity.h"
#include "module/pins.h"
#include "module/settings.h"

namespace modkit {

using Microsoft::WRL::ComPtr;

// The empty property document.
inline constexpr wchar_t emptyPropsDocument[] = L"<?xml version='1.0'?><PROPS></PROPS>";
// The author string every module reports.
inline constexpr wchar_t moduleAuthor[] = L"Vento signal modules";

class ModuleBase : public ObjectRoot, public IModule {
public:
    // IModule, slots 4 to 15.
    STDMETHODIMP Process() noexcept final;
    STDMETHODIMP Stop() noexcept final;
    STDMETHODIMP Start() noexcept final;
    STDMETHODIMP SaveSettings(IUnknown* store) noexcept final;
    STDMETHODIMP LoadSettings(IUnknown* store) noexcept final;
    STDMETHODIMP GetIcon(IDispatch** picture) noexcept final;
    STDMETHODIMP Initialize() noexcept final;
    STDMETHODIMP GetHelpFile(BSTR* path) noexcept final;
    STDMETHODIMP GetInfo(ModuleInfo* info) noexcept final;
    STDMETHODIMP GetFlags(long* flags) noexcept final;
    STDMETHODIMP OpenWindow() noexcept final;
    STDMETHODIMP CloseWindow() noexcept final;

    // Framework operations: only the module itself calls them, and none is a hook.
    void SetOutputProps(const Pin& pin, std::wstring_view text);
    std::wstring GetInputProps(const Pin& pin);
    std::wstring GetHelpPath();
    void WriteHelpFile();
    std::wstring GetModuleDirectory();

    // Publishes the output document of `pin`: its same-named input's document edited by OnOutputProps.
    void PropagateProps(const Pin& pin);
    // Reacts to a changed input document (runs OnInputProps and PropagateProps once per change).
    void CheckInputProps(const Pin& pin);

    // Object-model hooks (see com/object.h).
    HRESULT FinalConstruct() noexcept;
    void FinalRelease();
    HRESULT QueryExtraInterface(REFIID iid, void** out) noexcept;

protected:
    explicit ModuleBase(const ModuleIdentity& identity);
    virtual ~ModuleBase();

    // Module hooks, called inside the entry points' error boundary.
    virtual void OnInitialize() = 0;
    virtual void OnProcess() = 0;
    virtual void OnStart() {}
    virtual void OnStop() {}
    // Called only when the engine passed a settings store. OnSaveSettings writes what is not a
    // declared setting (a window's placement), before the declared ones; OnLoadSettings runs once
    // the declared settings are taken (not when a row's stop rule ended the load), to act on them.
    virtual void OnSaveSettings(Settings& /*settings*/) {}
    virtual void OnLoadSettings(Settings& /*settings*/, const LoadedSettings& /*loaded*/) {}
    // The declared settings of the module class (Module below supplies both).
    virtual void SaveDeclaredSettings(Settings& /*settings*/) {}
    virtual void LoadDeclaredSettings(Settings& settings) { OnLoadSettings(settings, LoadedSettings{}); }
    virtual void OnOpenWindow() {}
    virtual void OnCloseWindow() {}
    virtual void OnFinalRelease() {}
    // The document being published on `pin` (edit it in place), and a changed input document.
    virtual void OnOutputProps(IXMLDOMDocument* /*document*/, const Pin& /*pin*/) {}
    virtual void OnInputProps(IXMLDOMDocument* /*document*/, const Pin& /*pin*/) {}

    // Pins and blocks through the site; a failed call throws its HRESULT.
    void AddInput(const Pin& pin, long size);
    void AddMultiInput(const Pin& pin, long size);
    void AddOutput(const Pin& pin, long size);
    bool IsInputReady(const Pin& pin);
    long GetInputCount(const Pin& pin);
    bool IsInputReadyAt(const Pin& pin, long index);
    Block GetInputBlock(const Pin& pin);
    Block GetInputBlockAt(const Pin& pin, long index);
    Block GetOutputBlock(const Pin& pin);
    void SendOutput(const Pin& pin);
    // Gives `out` (the pin's current block) `size` floats: when its count differs, AddOutput, fetch
    // the block again (the storage may have moved) and, unless told not to, republish the output
    // document.
    Block ResizeOutput(const Pin& pin, Block out, long size, bool republish = true);

    // Fields.
    IModuleSite* site = nullptr; // the core's interface; not counted (the core lives inside us)
    ComPtr<IUnknown> core;
    std::wstring author = moduleAuthor;
    std::wstring description;
    std::wstring helpPath;
    ComPtr<IXMLDOMDocument> document;
    std::map<std::wstring, std::wstring, std::less<>> inputPropsCache;

private:
    // The document text on an input, read in place (valid until the next engine call).
    std::wstring_view InputPropsView(const Pin& pin);
    void LoadDocument(std::wstring_view text, bool* parsed);
    void AnnouncePage();

    // An engine call that should have answered failed while a document was read or written. A
    // pin the module never declared as an input, or a multi-input asked for its single block, is
    // refused by any engine: that is no failure (a source's output has no same-named input).
    enum class InputKind { None, Single, Multi };
    InputKind DeclaredInput(const Pin& pin) const noexcept;
    void Declare(const Pin& pin, InputKind kind);

    const ModuleIdentity& identity_;
    std::vector<std::pair<std::wstring, InputKind>> declaredInputs_;
    bool documentCallFailed_ = false;
    std::vector<std::wstring> pendingProps_; // outputs whose document is to be published again
};

// One property of a loaded document. Both fail with E_POINTER when the document has no PROPS element.
void SetProperty(IXMLDOMDocument* document, std::wstring_view key, std::wstring_view value);
// A whole number, as decimal digits ("SamplesPerSecond", "Width").
void SetProperty(IXMLDOMDocument* document, std::wstring_view key, long value);
std::wstring GetProperty(IXMLDOMDocument* document, std::wstring_view key);

// The base of a concrete module class: adds the server's own dual interface (answering IDispatch
// from the server's type library) and the interface table of every module object.
// It saves and loads the class's declaredSettings, when it has them.
template <class Self, class OwnInterface>
class Module : public ModuleBase, public Dispatch<OwnInterface> {
public:
    using Interfaces = InterfaceList<OwnInterface, As<IDispatch, OwnInterface>, IModule>;

protected:
    explicit Module(const ModuleIdentity& identity) : ModuleBase(identity) {}

    void SaveDeclaredSettings(Settings& settings) final
    {
        if constexpr (requires { Self::declaredSettings; })
            saveSettings(static_cast<const Self&>(*this), std::span<const Setting<Self>>(Self::declaredSettings), settings);
    }
    void LoadDeclaredSettings(Settings& settings) final
    {
        if constexpr (requires { Self::declaredSettings; }) {
            static_assert(validLoadOrder(std::span<const Setting<Self>>(Self::declaredSettings)),
                          "every setting that is read needs its own place in the load order");
            loadSettings(static_cast<Self&>(*this), std::span<const Setting<Self>>(Self::declaredSettings), settings,
                         [&](const LoadedSettings& loaded) { OnLoadSettings(settings, loaded); });
        } else {
            OnLoadSettings(settings, LoadedSettings{});
        }
    }
};

} // namespace modkit
