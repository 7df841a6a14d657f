#include "graph_panel.h"

#include <cmath>
#include <cwchar>

namespace {
// Slider position 0 to 100 for a gain of 10^((position - 50) / 10). The small allowance keeps a gain
// set from the slider on its own position despite single-precision rounding; gains at or below 0
// have no position and sit at 0.
int gainPosition(float gain)
{
    if (!(gain > 0.0f)) return 0;
    double position = std::log10(double(gain)) * 10.0 + 50.0 + 1e-4;
    if (position < 0.0) return 0;
    if (position > 100.0) return 100;
    return int(position);
}
} // namespace

void GraphWindowPanel::ShowModule(const GraphWindowModule& graph)
{
    SetTrackPos(IDC_GAIN, gainPosition(graph.gain));
    wchar_t text[32];
    std::swprintf(text, 32, L"%g", double(graph.gain));
    SetText(IDC_GAIN_VALUE, text);
    SetChecked(IDC_GRATICULE, graph.graticule != 0);
    SetChecked(IDC_LOG, graph.logScale != 0);
    SetChecked(IDC_MAGNITUDE, graph.magnitude != 0);
}

BOOL GraphWindowPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    GraphWindowModule* graph = moduleAs<GraphWindowModule>();
    if (!graph) return TRUE;
    UpdateScope scope(*this);
    SetTrackRange(IDC_GAIN, 0, 100);
    ShowModule(*graph);
    // Magnitudes make sense only for a spectrum's (re, im) pairs.
    EnableWindow(Item(IDC_MAGNITUDE), graph->IsSpectrum());
    MarkUnchanged();
    return TRUE;
}

HRESULT GraphWindowPanel::Refresh()
{
    GraphWindowModule* graph = moduleAs<GraphWindowModule>();
    if (!graph || !hwnd()) return S_OK;
    UpdateScope scope(*this);
    ShowModule(*graph);
    scope.close();
    return S_OK;
}

bool GraphWindowPanel::OnHScroll(int, int, HWND control)
{
    GraphWindowModule* graph = moduleAs<GraphWindowModule>();
    if (!graph || control != Item(IDC_GAIN)) return false;
    UpdateScope scope(*this);
    graph->gain = float(std::pow(10.0, (TrackPos(IDC_GAIN) - 50) * 0.1));
    wchar_t text[32];
    std::swprintf(text, 32, L"%g", double(graph->gain));
    SetText(IDC_GAIN_VALUE, text);
    scope.markChanged();
    return false;
}

bool GraphWindowPanel::OnCommand(WORD id, WORD code, HWND)
{
    GraphWindowModule* graph = moduleAs<GraphWindowModule>();
    if (!graph || code != BN_CLICKED) return false;
    long* flag = id == IDC_GRATICULE ? &graph->graticule
               : id == IDC_LOG       ? &graph->logScale
               : id == IDC_MAGNITUDE ? &graph->magnitude
                                     : nullptr;
    if (!flag) return false;
    UpdateScope scope(*this);
    *flag = IsChecked(id) ? 1 : 0;
    scope.markChanged();
    return true;
}
