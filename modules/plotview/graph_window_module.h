#pragma once
// GraphWindow: shows the latest block of its input in a window of its own, as a waveform with a
// millisecond scale or, for "FFT" signals, as a spectrum with a kilohertz scale, and passes the
// input on unchanged.
#include <memory>
#include <string>
#include <vector>
#include "identity.h"
#include "module/module_base.h"
#include "window/display_window.h"

class GraphWindowModule : public modkit::Module<GraphWindowModule, identity::ModuleInterface> {
public:
    GraphWindowModule();
    ~GraphWindowModule() override;

    bool IsSpectrum() const { return signalType == L"FFT"; }

    // Read by drawing; the flags and gain are written by the panel inside the engine's update scope.
    std::vector<float> display = std::vector<float>(128, 0.0f); // the last input block
    long magnitude = 0;
    long logScale = 0;
    long graticule = 1;
    float gain = 1.0f;
    long sampleRate = 11025;
    std::wstring signalType;
    modkit::WindowPlacement placement;

protected:
    void OnInitialize() override;
    void OnStart() override;
    void OnProcess() override;
    void OnOpenWindow() override;
    void OnCloseWindow() override;
    void OnSaveSettings(ISettingsStore* store) override;
    void OnLoadSettings(ISettingsStore* store) override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    class Window;
    // The user moved or resized the window: the engine learns that the module changed.
    void WindowChanged();

    std::unique_ptr<Window> window_;
    modkit::Pin defaultPin_{L"Default"};
};
