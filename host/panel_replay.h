#pragma once
// Panel replay: the values a graph file keeps for a module's panel, played into the panel the way a
// host shows one. The page class the module named with SetControlPage is created, given a page site
// and the module (SetObjects), activated on a hidden window, its controls are driven in file order
// (a trackbar: TBM_SETPOS, then WM_HSCROLL; a drop-down list: CB_SETCURSEL, then CBN_SELCHANGE; a
// button or check box: BM_CLICK), then Apply and Deactivate.
#include <vector>
#include "host/graph_file.h"
#include "host/vento_engine.h"

namespace vento {

// Opens the module's panel and drives the controls. Nothing happens for no controls. Throws
// EngineError "<instance>: panel: <what>".
void applyPanel(Instance& instance, const std::vector<PanelControl>& controls);

} // namespace vento
