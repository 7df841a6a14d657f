#include "graph_panel.h"

void GraphWindowPanel::ShowMore() { SetChecked(IDC_MAGNITUDE, moduleAs<GraphWindowModule>()->magnitude != 0); }

BOOL GraphWindowPanel::OnInitDialog()
{
    DisplayOptionsPanel::OnInitDialog();
    // Magnitudes make sense only for a spectrum's (re, im) pairs.
    if (const GraphWindowModule* graph = moduleAs<GraphWindowModule>()) EnableWindow(Item(IDC_MAGNITUDE), graph->IsSpectrum());
    return TRUE;
}

bool GraphWindowPanel::OnCommand(WORD id, WORD code, HWND control)
{
    GraphWindowModule* graph = moduleAs<GraphWindowModule>();
    if (!graph || code != BN_CLICKED || id != IDC_MAGNITUDE) return DisplayOptionsPanel::OnCommand(id, code, control);
    UpdateScope scope(*this);
    graph->magnitude = IsChecked(id) ? 1 : 0;
    scope.markChanged();
    return true;
}
