#include "graph_panel.h"

#include "panel/gain_slider.h"

using modkit::gainAtPosition;
using modkit::gainPosition;
using modkit::gainText;

void GraphWindowPanel::ShowModule(const GraphWindowModule& graph)
{
    SetTrackPos(IDC_GAIN, gainPosition(graph.gain));
    SetText(IDC_GAIN_VALUE, gainText(graph.gain));
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
    SetTrackRange(IDC_GAIN, modkit::gainSliderMin, modkit::gainSliderMax);
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
    graph->gain = gainAtPosition(TrackPos(IDC_GAIN));
    SetText(IDC_GAIN_VALUE, gainText(graph->gain));
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
