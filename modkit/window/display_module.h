#pragma once
// DisplayModule: the base of a module that shows its input in a window of its own and passes the
// input on unchanged (pins "Default" to "Default"; an output shorter than the input still gets what
// fits). It opens and closes the window for the engine, captions it with its sources at Start, keeps
// its placement with the settings (saved before the module's declared settings, loaded after them),
// takes the input's type and rate from its document, and carries the display options its panel sets
// (panel/display_options.h).
//
// A display module derives from DisplayModule<Self, IOwnInterface>, keeps a ModuleDisplayWindow
// subclass as a member and supplies:
//   must: ModuleWindow (that member), Transform (take a copy of the block, pass it on, then Redraw;
//         an absent output is not written, but the display copy takes the block all the same)
//   may:  OnDisplayedProps (more of the input's document), the ModuleBase hooks
#include <cwchar>
#include <optional>
#include <string>
#include "module/transform.h"
#include "panel/display_options.h"
#include "window/display_window.h"

namespace modkit {

template <class Self, class OwnInterface>
class DisplayModule : public TransformModule<Self, OwnInterface>, public DisplayOptions {
public:
    // From the input's document: its "SamplesPerSecond" and "Type".
    long sampleRate = 11025;
    std::wstring signalType;

protected:
    DisplayModule(const ModuleIdentity& identity, const wchar_t* description)
        : TransformModule<Self, OwnInterface>(identity, description, L"Default", L"Default",
                                              {.shortOutput = BlockProtocol::ShortOutput::Transform})
    {
    }

    virtual DisplayWindow& ModuleWindow() noexcept = 0;

    void OnStart() override { ModuleWindow().ShowSourcesCaption(*this->site); }
    std::optional<long> OutputSize(const Block& in) override { return in.count; }
    void OnOpenWindow() override { ModuleWindow().Open(); }
    void OnCloseWindow() override { ModuleWindow().Close(); }
    void OnSaveSettings(Settings& settings) override { ModuleWindow().SavePlacement(settings); }
    void OnLoadSettings(Settings& settings, const LoadedSettings&) override { ModuleWindow().LoadPlacement(settings, *this->site); }
    void OnInputProps(IXMLDOMDocument* document, const Pin& pin) final
    {
        if (pin != L"Default") return;
        signalType = GetProperty(document, L"Type");
        // Leading digits with an optional sign; missing or not a number reads as 0.
        sampleRate = std::wcstol(GetProperty(document, L"SamplesPerSecond").c_str(), nullptr, 10);
        OnDisplayedProps(document);
    }
    // After the type and rate: what more the module reads of its input's document.
    virtual void OnDisplayedProps(IXMLDOMDocument* /*document*/) {}
    // The open window paints the latest block.
    void Redraw()
    {
        if (ModuleWindow().isOpen()) InvalidateRect(ModuleWindow().hwnd(), nullptr, FALSE);
    }
};

// A display module's window, which reaches its module.
template <class Module>
class ModuleDisplayWindow : public DisplayWindow {
public:
    ModuleDisplayWindow(Module& module, OnMove onMove) noexcept : DisplayWindow(module, onMove), module_(module) {}

protected:
    Module& module_;
};

} // namespace modkit
