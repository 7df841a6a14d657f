#pragma once
// GraphWindow: shows the latest block of its input in a window of its own, as a waveform with a
// millisecond scale or, for "FFT" signals, as a spectrum with a kilohertz scale, and passes the
// input on unchanged.
#include <string>
#include <vector>
#include "identity.h"
#include "window/display_module.h"

class GraphWindowModule : public modkit::DisplayModule<GraphWindowModule, identity::ModuleInterface> {
public:
    GraphWindowModule();

    bool IsSpectrum() const { return signalType == L"FFT"; }

    // Read by drawing; the flags and the display options are written by the panel inside the
    // engine's update scope.
    std::vector<float> display = std::vector<float>(128, 0.0f); // the last input block
    long magnitude = 0;

    // Saved after the window's placement, loaded before it.
    static constexpr modkit::Setting<GraphWindowModule> declaredSettings[] = {
        {.name = L"Gain", .field = &GraphWindowModule::gain},
        {.name = L"Graticule", .field = &GraphWindowModule::graticule, .flag = true},
        {.name = L"Log", .field = &GraphWindowModule::logScale, .flag = true},
        {.name = L"Mag", .field = &GraphWindowModule::magnitude, .flag = true},
    };

protected:
    modkit::DisplayWindow& ModuleWindow() noexcept override { return window_; }
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
    // A spectrum is shown as magnitudes on a log scale until the user says otherwise.
    void OnDisplayedProps(IXMLDOMDocument*) override { magnitude = logScale = IsSpectrum() ? 1 : 0; }

private:
    // The graph window draws the module's graph; every move and resize tells the engine of a change.
    class Window : public modkit::ModuleDisplayWindow<GraphWindowModule> {
    public:
        explicit Window(GraphWindowModule& module) : ModuleDisplayWindow(module, OnMove::ReportChange) {}

    protected:
        void OnPaint() override;
    };

    Window window_{*this};
};
