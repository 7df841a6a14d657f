#include "graph_window_module.h"

#include <algorithm>
#include <cwchar>
#include "graph_drawing.h"

using namespace modkit;

// The graph window: draws the module's graph, and tells the engine when the user moves or resizes it.
class GraphWindowModule::Window : public DisplayWindow {
public:
    explicit Window(GraphWindowModule& module) : module_(module) {}

protected:
    void OnPaint() override
    {
        DrawGraph(frame(), reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), module_);
    }
    // Placing the window on opening is not a change the user made.
    void OnSized(int, int) override
    {
        if (!placing()) module_.WindowChanged();
    }
    void OnMoved() override
    {
        if (!placing()) module_.WindowChanged();
    }

private:
    GraphWindowModule& module_;
};

GraphWindowModule::GraphWindowModule() : Module(identity::module) {}
GraphWindowModule::~GraphWindowModule() = default;

void GraphWindowModule::OnInitialize()
{
    author = moduleAuthor;
    description = L"Open a window and display a graph of a signal.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
    display.assign(128, 0.0f);
    magnitude = 0;
    logScale = 0;
    graticule = 1;
    gain = 1.0f;
    sampleRate = 11025;
    signalType.clear();
    placement = WindowPlacement{};
}

void GraphWindowModule::OnStart()
{
    if (window_) SetWindowTextW(window_->hwnd(), SourcesCaption(*site).c_str());
}

void GraphWindowModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (std::wcscmp(pin.name(), L"Default") != 0) return;
    signalType = GetProperty(document, L"Type");
    sampleRate = std::wcstol(GetProperty(document, L"SamplesPerSecond").c_str(), nullptr, 10);
    // A spectrum is shown as magnitudes on a log scale until the user says otherwise.
    magnitude = logScale = IsSpectrum() ? 1 : 0;
}

void GraphWindowModule::OnProcess()
{
    CheckInputProps(defaultPin_);
    if (!IsInputReady(defaultPin_)) return;
    Block in = GetInputBlock(defaultPin_);
    Block out = GetOutputBlock(defaultPin_);
    out = ResizeOutput(defaultPin_, out, in.count);
    display.assign(in.data, in.data + in.count);
    if (in.count > 0 && out.count >= in.count) std::copy(in.data, in.data + in.count, out.data);
    if (window_) InvalidateRect(window_->hwnd(), nullptr, FALSE);
    SendOutput(defaultPin_);
}

void GraphWindowModule::OnOpenWindow()
{
    if (window_) return;
    auto window = std::make_unique<Window>(*this);
    window->Open(placement);
    window_ = std::move(window);
}

void GraphWindowModule::OnCloseWindow() { window_.reset(); }

void GraphWindowModule::WindowChanged() { check(site->SetModified(1)); }

void GraphWindowModule::OnSaveSettings(ISettingsStore* store)
{
    if (!store) return;
    if (window_) SavePlacement(*store, window_->hwnd());
    check(store->WriteFloat(Bstr(L"Gain").get(), gain));
    check(store->WriteFloat(Bstr(L"Graticule").get(), graticule ? 1.0f : 0.0f));
    check(store->WriteFloat(Bstr(L"Log").get(), logScale ? 1.0f : 0.0f));
    check(store->WriteFloat(Bstr(L"Mag").get(), magnitude ? 1.0f : 0.0f));
}

void GraphWindowModule::OnLoadSettings(ISettingsStore* store)
{
    if (!store) return;
    float loadedGain = 0.0f, loadedGraticule = 0.0f, loadedLog = 0.0f, loadedMag = 0.0f;
    check(store->ReadFloat(Bstr(L"Gain").get(), &loadedGain));
    check(store->ReadFloat(Bstr(L"Graticule").get(), &loadedGraticule));
    check(store->ReadFloat(Bstr(L"Log").get(), &loadedLog));
    check(store->ReadFloat(Bstr(L"Mag").get(), &loadedMag));
    gain = loadedGain;
    graticule = long(loadedGraticule);
    logScale = long(loadedLog);
    magnitude = long(loadedMag);
    if (!LoadPlacement(*store, *site, placement)) return;
    OnCloseWindow();
    OnOpenWindow();
}
