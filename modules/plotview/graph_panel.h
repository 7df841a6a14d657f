#pragma once
// The GraphWindow's panel: the gain slider with its value, and the graticule, log and magnitude boxes.
#include "controls.h"
#include "graph_window_module.h"
#include "panel/module_dialog.h"

class GraphWindowPanel : public modkit::ModuleDialog {
public:
    HRESULT Refresh() override;

protected:
    BOOL OnInitDialog() override;
    bool OnHScroll(int code, int position, HWND control) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void ShowModule(const GraphWindowModule& graph);
};
