#pragma once
// The GraphWindow's panel: the gain slider with its value, and the graticule, log and magnitude boxes.
#include "controls.h"
#include "graph_window_module.h"
#include "panel/display_options.h"

class GraphWindowPanel : public modkit::DisplayOptionsPanel {
public:
    GraphWindowPanel() : DisplayOptionsPanel({IDC_GAIN, IDC_GAIN_VALUE, IDC_GRATICULE, IDC_LOG}) {}

protected:
    modkit::DisplayOptions* Options() const override { return moduleAs<GraphWindowModule>(); }
    void ShowMore() override;
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
};
